// Runs the built tralune binary as a user would: in a folder of its own, on the dummy video driver,
// with a stub song player first on PATH and its output sent to a file.
#ifndef TRALUNE_RUNNER_H
#define TRALUNE_RUNNER_H

#include "testfiles.h"

#include <ostream>
#include <string>
#include <vector>

struct RunResult {
    bool exited = false;     // ended by exit (not a signal, not killed for taking too long)
    int status = -1;         // exit status when exited
    std::string output;      // everything written to standard output and standard error
    double seconds = 0;      // from start to end of the tralune process
    double started = 0;      // wall-clock start, seconds since the epoch
};

struct RunOptions {
    std::vector<std::string> args;            // arguments after the program name
    std::vector<std::string> env;             // NAME=value entries added to or replacing the environment;
                                              // a bare NAME removes that variable
    double timeout = 20;                      // killed after this many seconds
    double signalafter = -1;                  // send signalnumber after this many seconds, if >= 0
    int signalnumber = 15;
    std::string binary;                       // the program to run; tralune by default
};

// What one run of a companion program wrote on its two output streams.
struct ToolRun {
    bool exited = false;
    int status = -1;
    std::string out, err;
};

std::ostream& operator<<(std::ostream& o, const ToolRun& r);

// A folder set up for a run. The run's working folder is work/. A stub "mpg123" comes first on PATH;
// it appends one line "start <epoch seconds> <working dir> <args>" to playerlog() when it starts and
// "end <epoch seconds>" when it ends, after sleeping PLAYER_SECONDS (0 by default).
class Stage {
public:
    Stage();
    std::string work(const std::string& name = "") const;
    std::string playerlog() const { return dir / "player.log"; }
    // The file a run's standard output and standard error go to.
    std::string outputfile() const { return dir / "output.txt"; }
    // Writes text into work/name.
    std::string write(const std::string& name, const std::string& text) const;
    // Writes the small test font as work/font.pcx.
    void addfont() const;
    RunResult run(const RunOptions& opts) const;
    RunResult run(std::vector<std::string> args = {}) const;
    // Runs a companion program with args in work/, as run() does, with its standard error kept apart in
    // a file outside work/, so that the two streams can be told apart and work/ holds only what the
    // program made.
    ToolRun runtool(const std::string& binary, const std::vector<std::string>& args,
                    const std::vector<std::string>& env = {}) const;

private:
    ScratchDir dir;
};

double now();

// Lines of the stage's stub player log, split into words: "start", the time, the folder and the
// player's arguments, then "end" and the time.
std::vector<std::vector<std::string>> playerlines(const Stage& st);

#endif
