// A private X server for the real-screen tests: an Xvfb display started and stopped by the test, its
// screen read back pixel by pixel, X clients run against it, and tralune run on it in the background.
#ifndef TRALUNE_XSCREEN_H
#define TRALUNE_XSCREEN_H

#include "runner.h"
#include "tralune.h"

#include <sys/types.h>

#include <atomic>
#include <future>
#include <string>
#include <vector>

struct ClientResult {
    int status = -1;        // exit status of the command, -1 when it did not exit normally
    std::string output;     // its standard output and standard error
};

class XServer {
public:
    // Starts "Xvfb -displayfd FD -screen 0 WxHx24 -nolisten tcp -noreset": the server picks a
    // display number that is free (so tests running side by side each get their own) and reports it
    // once it accepts connections. The server is told to end if the test process dies. Throws
    // std::runtime_error with the server's own output when it does not come up within 20 seconds.
    //
    // Without -noreset the server resets whenever its last client leaves, and a client that connects
    // during the reset is refused ("Couldn't open X11 display"). The tests read the screen with a new
    // client several times a second, so that happened to about one tralune start in three.
    explicit XServer(int w = SCREEN_W, int h = SCREEN_H);
    // Stops the server and waits for it to end.
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N".
    const std::string& name() const { return display; }
    // The screen's size.
    int width() const { return w; }
    int height() const { return h; }
    // Runs a shell command with DISPLAY set to this server and returns its status and output. A
    // command whose X connection is refused (now and then right after another client closed) is run
    // again, up to five times in all.
    ClientResult client(const std::string& command) const;
    // Reads the whole screen back with xwd, converted by ImageMagick, as width() x height() 0x00RRGGBB
    // values in row order. False, with the reason in why, when the screen could not be read.
    bool capture(std::vector<pixel>& screen, std::string& why) const;
    // Options for a tralune run on this screen: the x11 video driver on this display.
    RunOptions options(std::vector<std::string> args) const;

private:
    pid_t pid = -1;
    int w, h;
    std::string display;
    ScratchDir dir;
};

// A tralune run on a real screen, in a thread of its own, so that the test can read the screen, press
// keys and send signals while it goes on. A start that fails because the X connection was refused is
// made again, up to four starts in all; each such retry is noted on standard output.
class ScreenRun {
public:
    ScreenRun(const Stage& st, RunOptions opts);
    // Asks a run that is still going to quit (SIGTERM), as a test that stopped early leaves it, and
    // waits for it to end.
    ~ScreenRun();
    ScreenRun(const ScreenRun&) = delete;
    ScreenRun& operator=(const ScreenRun&) = delete;
    // True once the run (with its retries) has ended.
    bool finished() const;
    // Waits for the run to end and returns the last start's result.
    RunResult result();
    // The process id of the tralune process now running, found among this test process's children;
    // 0 when none is running.
    pid_t pid() const;
    // Sends a signal to the running tralune process; false when none is running.
    bool signal(int number) const;
    // How many starts were refused and made again.
    int retries() const { return refused; }

private:
    std::atomic<int> refused{0};
    std::future<RunResult> done;
    bool taken = false;
    RunResult last;
};

// "" when every pixel of the screen has the colour of the same pixel of the frame, both `width` pixels
// wide and of one size (the frame's top byte is ignored: the screen has 24-bit colour); otherwise a
// description of the first differing pixel, with its coordinates and both values, and the number of
// differing pixels.
std::string framediff(const std::vector<pixel>& screen, const std::vector<pixel>& frame, int width = SCREEN_W);

#endif
