// Rendering a MIDI file's music with fluidsynth and lame.
#include "midirender.h"
#include "cli.h"
#include "lyrics.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern char** environ;

const char DEFAULT_SOUNDFONT[] = "/usr/share/sounds/sf2/default-GM.sf2";

namespace {

const int RATE = 44100;              // samples a second of the rendered music, stereo, 16 bits
const int KBITS = 128;               // the MP3's bit rate, constant so that its size tells its progress
const char GAIN[] = "0.6";           // fluidsynth's own 0.2 leaves a General MIDI song faint

std::string basename(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string clock(long long ms)
{
    char t[32];
    long long s = (ms + 500) / 1000;
    snprintf(t, sizeof t, "%lld:%02lld", s / 60, s % 60);
    return t;
}

// The program name on PATH as a path that can be run; "" when there is none.
std::string onpath(const std::string& name)
{
    const char* path = getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    for (size_t at = 0; at <= p.size();) {
        size_t colon = std::min(p.find(':', at), p.size());
        std::string dir = p.substr(at, colon - at);
        std::string file = (dir.empty() ? "." : dir) + "/" + name;
        if (access(file.c_str(), X_OK) == 0)
            return file;
        at = colon + 1;
    }
    return "";
}

long long filesize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

bool writebytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wbe");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The last line that is not empty of a tool's messages, for a message of ours.
std::string lastline(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rbe");
    if (!f)
        return "";
    std::string text, last;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (1u << 20))
        text.append(buf, n);
    fclose(f);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        if (end > at)
            last = text.substr(at, end - at);
        at = end + 1;
    }
    return quoted(last.substr(0, 200));
}

enum outcome { DONE, FAILED, CANCELLED };

// Runs a tool (argv[0] a path) without a shell, its messages in log and no input, and reports through
// r how far its output file has grown toward the size expected of it. The child takes the default
// handling of every signal, whatever its parent set.
outcome runwatched(const std::vector<std::string>& argv, const std::string& log, const std::string& output,
                   long long expected, const std::string& label, report& r, const std::atomic<bool>* cancel)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int err = posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (err != 0)
        return FAILED;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return FAILED;
        if (cancel && cancel->load()) {
            kill(pid, SIGTERM);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            r.progress(label, -1, false);
            return CANCELLED;
        }
        long long size = filesize(output);
        // The tools' output runs on a little past the music (a last note's release): not done until they are.
        r.progress(label, size <= 0 || expected <= 0 ? 0 : int(std::min(99LL, size * 100 / expected)), false);
        usleep(100000);
    }
    bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.progress(label, ok ? 100 : -1, ok);
    return ok ? DONE : FAILED;
}

} // namespace

bool issoundfont(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rbe");
    if (!f)
        return false;
    char head[12];
    bool ok = fread(head, 1, 12, f) == 12 && memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "sfbk", 4) == 0;
    fclose(f);
    return ok;
}

bool rendermidi(const std::string& smf, long long lengthms, const std::string& soundfontasked, const std::string& output,
                report& r, const std::atomic<bool>* cancel)
{
    bool asked = !soundfontasked.empty();
    std::string soundfont = asked ? soundfontasked : DEFAULT_SOUNDFONT;
    std::string synth = onpath("fluidsynth"), lame = onpath("lame");
    std::vector<std::string> missing;
    if (synth.empty())
        missing.push_back("fluidsynth");
    if (!asked && !issoundfont(soundfont))
        missing.push_back("timgm6mb-soundfont");
    if (lame.empty())
        missing.push_back("lame");
    const std::string without = "; the script is written without gnusong.mp3";
    if (!missing.empty()) {
        std::string packages;
        for (size_t k = 0; k < missing.size(); k++)
            packages += (k == 0 ? "" : k + 1 == missing.size() ? " and " : ", ") + missing[k];
        r.warning(0, "cannot render the music: install " + std::string(missing.size() > 1 ? "the packages " : "the package ") +
                         packages + (asked || issoundfont(soundfont) ? "" : std::string(" (or any General MIDI soundfont as ") +
                                     DEFAULT_SOUNDFONT + ", or give --soundfont FILE)") + without);
        return false;
    }
    const char* tmp = getenv("TMPDIR");
    std::string scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/tralune-kar-XXXXXX";
    if (!mkdtemp(&scratch[0])) {
        r.warning(0, std::string("cannot make a scratch folder to render the music in: ") + strerror(errno) + without);
        return false;
    }
    std::string mid = scratch + "/song.mid", wav = scratch + "/song.wav", log = scratch + "/tool.log";
    // The default is a link to whichever soundfont package is installed: name that one.
    char* real = realpath(soundfont.c_str(), nullptr);
    std::string length = clock(lengthms), name = basename(real ? real : soundfont);
    free(real);
    long long seconds = (lengthms + 999) / 1000;
    outcome o = writebytes(mid, smf) ? DONE : FAILED;
    if (o == FAILED)
        r.warning(0, "cannot write the MIDI file for fluidsynth in " + quoted(scratch) + without);
    if (o == DONE) {
        o = runwatched({synth, "-n", "-i", "-q", "-F", wav, "-T", "wav", "-O", "s16", "-r", std::to_string(RATE), "-g",
                        GAIN, soundfont, mid},
                       log, wav, seconds * RATE * 4, r.name() + ": rendering " + length + " of music with fluidsynth and " + name,
                       r, cancel);
        if (o == FAILED)
            r.warning(0, "fluidsynth could not render the music: " + lastline(log) + without);
    }
    long long wavbytes = o == DONE ? filesize(wav) : 0;
    if (o == DONE && wavbytes <= 44) {
        r.warning(0, "fluidsynth rendered no music" + without);
        o = FAILED;
    }
    if (o == DONE) {
        o = runwatched({lame, "--quiet", "--cbr", "-b", std::to_string(KBITS), wav, output}, log, output,
                       (wavbytes - 44) / (RATE * 4) * KBITS * 1000 / 8, r.name() + ": encoding it with lame", r, cancel);
        if (o == FAILED)
            r.warning(0, "lame could not encode the music: " + lastline(log) + without);
    }
    for (const std::string& f : {mid, wav, log})
        unlink(f.c_str());
    rmdir(scratch.c_str());
    if (o != DONE)
        unlink(output.c_str());
    return o == DONE;
}
