// tralune-kar: makes a tralune script from a MIDI karaoke file (.kar, or .mid with lyric events),
// highlighted syllable by syllable, and renders the file's music as the song it plays.
#include "cli.h"
#include "kar.h"
#include "lyrics.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char PROGRAM[] = "tralune-kar";
const char DEFAULT_SOUNDFONT[] = "/usr/share/sounds/sf2/default-GM.sf2";
const int RATE = 44100;              // samples a second of the rendered music, stereo, 16 bits
const int KBITS = 128;               // the MP3's bit rate, constant so that its size tells its progress
const char GAIN[] = "0.6";           // fluidsynth's own 0.2 leaves a General MIDI song faint

// The importers' shared options but --song: the song here is the file's own music.
std::string sharedhelp()
{
    std::string all = importoptionshelp(), kept;
    for (size_t at = 0; at < all.size();) {
        size_t end = std::min(all.find('\n', at), all.size() - 1) + 1;
        if (all.compare(at, 8, "  --song") != 0)
            kept += all.substr(at, end - at);
        at = end;
    }
    return kept;
}

void usage()
{
    printf("usage: %s [options] SONG.kar|SONG.mid\n"
           "Makes a tralune script from a MIDI karaoke file (.kar) or a MIDI file with lyric events: each\n"
           "line appears before it is sung and each syllable is highlighted at its tick, on the song's\n"
           "clock. The music is rendered with fluidsynth and lame as gnusong.mp3 beside the script.\n"
           "%s"
           "  --no-audio          write the script only, no gnusong.mp3\n"
           "  --soundfont FILE    the General MIDI soundfont to render with; default\n"
           "                      %s\n"
           "  --help              show this and exit\n",
           PROGRAM, sharedhelp().c_str(), DEFAULT_SOUNDFONT);
}

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

// Whether the file is a soundfont: a RIFF "sfbk" file, as SF2 and SF3 are.
bool issoundfont(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char head[12];
    bool ok = fread(head, 1, 12, f) == 12 && memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "sfbk", 4) == 0;
    fclose(f);
    return ok;
}

long long filesize(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

// Files that must not outlive an interrupted or failed run: the half-made MP3 and the scratch folder;
// and the tool making them, which must not write on after the run.
std::string scratch, partial;
volatile pid_t child = 0;

void cleanup()
{
    if (!partial.empty())
        unlink(partial.c_str());
    if (!scratch.empty()) {
        for (const char* name : {"/song.mid", "/song.wav", "/tool.log"})
            unlink((scratch + name).c_str());
        rmdir(scratch.c_str());
    }
}

void interrupted(int sig)
{
    if (child > 0)
        kill(child, SIGTERM);
    cleanup();
    signal(sig, SIG_DFL);
    raise(sig);
}

bool writebytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The last line that is not empty of a tool's messages, for a message of ours.
std::string lastline(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return "";
    std::string text, last;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
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

// Runs a tool (argv[0] a path) with its messages in log, and shows on standard error how far its
// output file has grown toward the size expected of it: a percentage kept up to date on a terminal,
// else a line at every quarter. Whether it ended with status 0.
bool runwatched(const std::vector<std::string>& argv, const std::string& log, const std::string& output,
                long long expected, const std::string& label)
{
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The tool's own, not this program's clean-up, which is the parent's to do.
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            signal(sig, SIG_DFL);
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int nul = open("/dev/null", O_RDONLY);
        if (fd < 0 || nul < 0)
            _exit(127);
        dup2(nul, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    child = pid;
    bool tty = isatty(2);
    int shown = -1, status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            child = 0;
            return false;
        }
        long long size = filesize(output);
        // The tools' output runs on a little past the music (a last note's release): not done until they are.
        int percent = size <= 0 || expected <= 0 ? 0 : int(std::min(99LL, size * 100 / expected));
        if (tty ? percent != shown : percent / 25 > shown / 25 || shown < 0) {
            fprintf(stderr, tty ? "\r%s: %d%%" : "%s: %d%%\n", label.c_str(), tty ? percent : percent / 25 * 25);
            shown = percent;
        }
        usleep(100000);
    }
    child = 0;
    bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (ok)
        fprintf(stderr, tty ? "\r%s: 100%%\n" : "%s: 100%%\n", label.c_str());
    else if (tty)
        fprintf(stderr, "\n");
    return ok;
}

// Renders the song's music into the MP3 file partial. Fails with a warning through r, naming what to
// install or what went wrong, and leaves nothing behind.
bool render(const midisong& m, const std::string& soundfont, bool asked, const std::string& target, report& r)
{
    std::string synth = onpath("fluidsynth"), lame = onpath("lame");
    std::vector<std::string> missing;
    if (synth.empty())
        missing.push_back("fluidsynth");
    if (!asked && !issoundfont(soundfont))
        missing.push_back("timgm6mb-soundfont");
    if (lame.empty())
        missing.push_back("lame");
    if (!missing.empty()) {
        std::string packages;
        for (size_t k = 0; k < missing.size(); k++)
            packages += (k == 0 ? "" : k + 1 == missing.size() ? " and " : ", ") + missing[k];
        r.warning(0, "cannot render the music: install " + std::string(missing.size() > 1 ? "the packages " : "the package ") +
                         packages + (asked || issoundfont(soundfont) ? "" : std::string(" (or any General MIDI soundfont as ") +
                                     DEFAULT_SOUNDFONT + ", or give --soundfont FILE)") +
                         "; the script is written without gnusong.mp3");
        return false;
    }
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tralune-kar-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        r.warning(0, std::string("cannot make a scratch folder to render the music in: ") + strerror(errno) +
                         "; the script is written without gnusong.mp3");
        return false;
    }
    scratch = pattern;
    partial = target + ".tmp" + std::to_string(getpid());
    std::string mid = scratch + "/song.mid", wav = scratch + "/song.wav", log = scratch + "/tool.log";
    // The default is a link to whichever soundfont package is installed: name that one.
    char* real = realpath(soundfont.c_str(), nullptr);
    std::string length = clock(m.lengthms), name = basename(real ? real : soundfont);
    free(real);
    long long seconds = (m.lengthms + 999) / 1000;
    bool ok = writebytes(mid, m.smf);
    if (!ok)
        r.warning(0, "cannot write the MIDI file for fluidsynth in " + quoted(scratch) + "; the script is written without gnusong.mp3");
    if (ok && !runwatched({synth, "-n", "-i", "-q", "-F", wav, "-T", "wav", "-O", "s16", "-r", std::to_string(RATE), "-g",
                           GAIN, soundfont, mid},
                          log, wav, seconds * RATE * 4, r.name() + ": rendering " + length + " of music with fluidsynth and " + name)) {
        r.warning(0, "fluidsynth could not render the music: " + lastline(log) + "; the script is written without gnusong.mp3");
        ok = false;
    }
    long long wavbytes = ok ? filesize(wav) : 0;
    if (ok && wavbytes <= 44) {
        r.warning(0, "fluidsynth rendered no music; the script is written without gnusong.mp3");
        ok = false;
    }
    if (ok && !runwatched({lame, "--quiet", "--cbr", "-b", std::to_string(KBITS), wav, partial}, log, partial,
                          (wavbytes - 44) / (RATE * 4) * KBITS * 1000 / 8, r.name() + ": encoding it with lame")) {
        r.warning(0, "lame could not encode the music: " + lastline(log) + "; the script is written without gnusong.mp3");
        ok = false;
    }
    for (const std::string& f : {mid, wav, log})
        unlink(f.c_str());
    rmdir(scratch.c_str());
    scratch.clear();
    if (!ok) {
        unlink(partial.c_str());
        partial.clear();
    }
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    scriptoptions o;
    std::string file, soundfont = DEFAULT_SOUNDFONT;
    bool audio = true, asked = false;
    cmdline cl(PROGRAM, argc, argv);
    while (cl.next()) {
        if (cl.flag("--help") || cl.flag("-h")) {
            usage();
            return 0;
        } else if (!cl.operand() && (cl.arg() == "--song" || cl.arg().compare(0, 7, "--song=") == 0)) {
            cl.fail("--song: the song is the file's own music, rendered as gnusong.mp3 (--no-audio leaves it out)");
        } else if (cl.flag("--no-audio")) {
            audio = false;
        } else if (cl.option("--soundfont", soundfont)) {
            asked = true;
        } else if (importoption(cl, o)) {
        } else if (!cl.operand()) {
            cl.unknown();
        } else if (!file.empty()) {
            cl.fail("only one MIDI file, please: " + quoted(file) + " and " + quoted(cl.arg()) + " were given");
        } else if (cl.arg().empty()) {
            cl.fail("the MIDI file name is empty");
        } else {
            file = cl.arg();
        }
    }
    if (file.empty())
        cl.fail(std::string("no MIDI file given (see ") + PROGRAM + " --help)");
    if (audio && asked && !issoundfont(soundfont))
        cl.fail("the soundfont " + quoted(soundfont) + " cannot be read as one (an .sf2 or .sf3 file)");

    report r(file);
    midisong m = readkar(readinput(file, r), o.offset, r);
    if (!m.error.empty())
        r.fail(m.error);
    std::string script = makescript(m.s, o, "Made by tralune-kar from " + file + "; times are song times.", r);

    std::string target = (o.output == "-" ? "." : folderof(o.output)) + "/gnusong.mp3";
    atexit(cleanup);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        signal(sig, interrupted);
    bool rendered = audio && render(m, soundfont, asked, target, r);
    savescript(script, o, r);
    if (rendered) {
        // Only now, so that a song is never there without its script, nor half made.
        if (rename(partial.c_str(), target.c_str()) != 0)
            r.fail("cannot write " + quoted(target) + ": " + strerror(errno));
        partial.clear();
    }
    return 0;
}
