// Whole runs of the built tralune under valgrind's memcheck: no invalid read or write, no use of
// uninitialised memory, and no memory left at exit but the frame buffer, the font and its image.
#include "cdgstream.h"
#include "runner.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

namespace {

const std::string VALGRIND = TRALUNE_VALGRIND;
const std::string DEMO = TRALUNE_DEMO_DIR;

// One block list of a valgrind leak summary: its kind and the call stack that allocated it.
struct LossRecord {
    std::string kind;    // "definitely lost", "still reachable", ...
    long long bytes = 0;
    std::string stack;   // the "at" and "by" lines, one a line
};

// What memcheck said about the player.
struct MemcheckReport {
    std::string log;          // the whole log, for failure messages
    bool complete = false;    // the final ERROR SUMMARY line is there
    long long errors = -1;
    std::vector<LossRecord> records;
};

MemcheckReport parselog(const std::string& text)
{
    MemcheckReport rep;
    rep.log = text;
    std::istringstream in(text);
    std::regex summary(R"(ERROR SUMMARY: ([0-9,]+) errors)");
    std::regex record(R"(([0-9,]+) \(?.*bytes in [0-9,]+ blocks are (.*) in loss record)");
    LossRecord* open = nullptr;
    for (std::string line; std::getline(in, line);) {
        // Each line starts with "==PID== ".
        size_t mark = line.find("== ");
        std::string body = mark == std::string::npos ? line : line.substr(mark + 3);
        std::smatch m;
        if (std::regex_search(body, m, summary)) {
            std::string n = m[1];
            n.erase(std::remove(n.begin(), n.end(), ','), n.end());
            rep.errors = std::stoll(n);
            rep.complete = true;
            open = nullptr;
        } else if (std::regex_search(body, m, record)) {
            std::string n = m[1];
            n.erase(std::remove(n.begin(), n.end(), ','), n.end());
            rep.records.push_back({m[2], std::stoll(n), ""});
            open = &rep.records.back();
        } else if (open && (body.find("   at ") == 0 || body.find("   by ") == 0)) {
            open->stack += body + "\n";
        } else if (body.empty()) {
            open = nullptr;
        }
    }
    return rep;
}

// A loss record allocated by the player's own code, that is, with a frame in one of its sources.
bool ownrecord(const LossRecord& r)
{
    static const std::regex own(R"(\((gfx|pcx|font|script|main|video)\.cpp:)");
    return std::regex_search(r.stack, own);
}

// Which of the memory that lives for the whole run a record is, or "" when it is none of it.
std::string lifelong(const LossRecord& r)
{
    if (r.stack.find("gfx::instance()") != std::string::npos)
        return "frame buffer";
    if (r.stack.find("font::instance()") != std::string::npos)
        return "font";
    if (r.stack.find("font::loadfont(") != std::string::npos && r.stack.find("pcx.cpp") != std::string::npos)
        return "font image";
    return "";
}

// Waits, up to wait seconds, until the stub player has ended: the song child starts it 1.5 s into the
// run and may outlive a short run, and nothing of a run should be left going when its test ends.
void waitforplayer(const Stage& st, double wait)
{
    double until = now() + wait;
    while (readtext(st.playerlog()).find("end ") == std::string::npos && now() < until)
        usleep(100000);
}

class Memcheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(VALGRIND.empty()) << "valgrind is not installed (./deps.sh test installs it)";
    }

    // Runs tralune on script under memcheck from the stage's work folder and checks the report;
    // expected is the player's whole output. The song child is a fork of the player that only waits and
    // starts the stub player through the shell; memcheck follows neither it nor the programs it runs.
    void check(const std::string& script, const std::string& expected, double timeout)
    {
        RunOptions o;
        o.binary = VALGRIND;
        o.args = {"--tool=memcheck", "--error-exitcode=99", "--leak-check=full", "--show-leak-kinds=all",
                  "--errors-for-leak-kinds=definite,indirect,possible", "--track-origins=yes",
                  "--trace-children=no", "--child-silent-after-fork=yes", "--log-file=memcheck.log", TRALUNE_BINARY, script};
        o.timeout = timeout;
        RunResult r = st.run(o);
        waitforplayer(st, 30);
        MemcheckReport rep = parselog(readtext(st.work("memcheck.log")));
        ASSERT_TRUE(r.exited) << "the run did not end in " << timeout << " s:\n" << r.output << rep.log;
        EXPECT_EQ(r.status, 0) << r.output << rep.log;
        EXPECT_EQ(r.output, expected) << rep.log;
        ASSERT_TRUE(rep.complete) << "memcheck's report is not finished:\n" << rep.log;
        EXPECT_EQ(rep.errors, 0) << rep.log;

        std::set<std::string> kept;
        for (const auto& rec : rep.records) {
            EXPECT_EQ(rec.kind, "still reachable") << rec.bytes << " bytes " << rec.kind << ":\n" << rec.stack;
            if (!ownrecord(rec))
                continue;   // the C and C++ runtimes and SDL
            std::string what = lifelong(rec);
            EXPECT_NE(what, "") << "the program keeps " << rec.bytes << " bytes it does not need:\n" << rec.stack;
            EXPECT_TRUE(kept.insert(what).second) << "two blocks of the " << what << ":\n" << rep.log;
            if (what == "frame buffer") {
                EXPECT_EQ(rec.bytes, 640 * 480 * 4);
            }
        }
        EXPECT_EQ(kept, (std::set<std::string>{"frame buffer", "font", "font image"})) << rep.log;
    }

    Stage st;
};

TEST_F(Memcheck, RunOfEveryCommandIsCleanAndKeepsOnlyTheFrameBufferAndTheFont)
{
    st.addfont();
    // A picture with an odd width (padded rows), one wider than the screen, one cut short, one that is
    // not there, and one that is a folder.
    PcxImage pic;
    pic.width = 101;
    pic.height = 61;
    for (int i = 0; i < pic.width * pic.height; i++)
        pic.indexes.push_back(uint8_t(i % 251));
    pic.palette = rampPalette();
    writefile(st.work("picture.pcx"), encodepcx(pic));
    PcxImage wide = pic;
    wide.width = 700;
    wide.height = 10;
    wide.indexes.assign(7000, 9);
    writefile(st.work("wide.pcx"), encodepcx(wide));
    std::vector<uint8_t> bytes = encodepcx(pic);
    bytes.resize(bytes.size() / 2);
    writefile(st.work("cut.pcx"), bytes);
    mkdir(st.work("folder.pcx").c_str(), 0755);
    // A CD+G stream of every instruction with a trailing partial packet, long due when its line runs.
    std::vector<Packet> stream = {cdgcolours(0, {0x102030, 0xF0F0F0}), cdgborder(1), cdgpreset(0), cdgpreset(0, 1),
                                  cdgtile(3, 4, 0, 1, {0x3F, 0x21}), cdgtile(3, 4, 1, 1, {0x0F}, true),
                                  cdgscroll(false, 1, 1, 3, 2, 11), cdgscroll(true, 1, 2, 0, 1, 5), cdgnothing()};
    st.write("stream.cdg", cdgbytes(stream) + "\x09\x06");
    st.write("script.txt",
             "; every command, and the odd cases of each\n"
             "clearscreen(10,20,30)\n"
             "setimg(picture.pcx)\n"
             "setimg(wide.pcx)\n"
             "setimg(cut.pcx)\n"
             "setimg(missing.pcx)\n"
             "setimg(folder.pcx)\n"
             "text(Hello %world% 0123456789 !?)\n"
             "text(%)\n"
             "text()\n"
             "text(WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW)\n"
             "hop()\n"
             "bounce()\n"
             "(skipped\n"
             "usleep(300000)\n"
             "usleep(-5)\n"
             "sleep(-1)\n"
             "sleep(2)\n"
             "clearscreen(7)\n"
             "clearscreen(0,0,256)\n"
             "cdg(stream.cdg)\n"
             "cdg(missing.cdg)\n"
             "cdg(folder.pcx)\n");
    check("script.txt", "Opening file: script.txt\nNow i hop\nnow i bounce\n", 180);
}

TEST_F(Memcheck, DemoRunIsCleanAndKeepsOnlyTheFrameBufferAndTheFont)
{
    DIR* d = opendir(DEMO.c_str());
    if (!d)
        GTEST_SKIP() << "no demo folder at " << DEMO;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        struct stat s;
        if (stat((DEMO + "/" + name).c_str(), &s) == 0 && S_ISREG(s.st_mode))
            st.write(name, readtext(DEMO + "/" + name));
    }
    closedir(d);
    // The demo waits about 35 s in all; memcheck adds its own slowness on top.
    check("script.txt", "Opening file: script.txt\n", 400);
}

} // namespace
