// The demo sing-along: its script runs through the real reader, font and frame buffer, every lyric
// line is shown whole and alone over the picture, and each word is highlighted in its turn.
#include "fakevideo.h"
#include "font.h"
#include "gfx.h"
#include "script.h"
#include "testfiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string DEMO = TRALUNE_DEMO_DIR;

std::vector<std::string> scriptlines()
{
    std::ifstream in(DEMO + "/script.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The command of a script line as the player reads it, UNKNOWN for one that runs nothing; its argument
// into *args.
int command(const std::string& line, std::string* args = nullptr)
{
    script s;
    if (s.parseline(line.c_str()) != script::OK || !s.cmd[0])
        return script::UNKNOWN;
    if (args)
        *args = s.args;
    return s.findcommand();
}

std::string argument(const std::string& line)
{
    std::string args;
    command(line, &args);
    return args;
}

// Runs the demo's script as tralune does, from the demo folder, with every wait taken out so the run
// takes no time; the script's lines stay in place one for one, so frame i is the frame after line i + 1.
class Demo : public ::testing::Test {
protected:
    void SetUp() override
    {
        lines = scriptlines();
        ASSERT_FALSE(lines.empty()) << "no demo/script.txt: run demo/make.sh";
        std::string quick;
        for (const auto& l : lines)
            quick += (command(l) == script::USLEEP || command(l) == script::AT ? std::string("usleep(0)") : l) + "\n";
        std::string path = scratch.write("quick.txt", quick);
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        ASSERT_EQ(chdir(DEMO.c_str()), 0);
        ASSERT_EQ(font::instance()->loadfont("font.pcx"), 0) << "demo/font.pcx does not load";
        shownframes.clear();
        gfx::instance()->init();
        script s;
        EXPECT_EQ(s.readscript(path.c_str()), 0);
        gfx::instance()->close();
        ASSERT_EQ(chdir(here), 0);
        ASSERT_EQ(shownframes.size(), lines.size());
    }

    // The frame a text line should leave: the picture freshly drawn and the line on it, nothing else.
    std::vector<pixel> expected(const std::string& text)
    {
        char here[4096];
        EXPECT_NE(getcwd(here, sizeof here), nullptr);
        EXPECT_EQ(chdir(DEMO.c_str()), 0);
        gfx* g = gfx::instance();
        g->clearscreen(0, 0, 0);
        script s;
        EXPECT_EQ(s.setimg("night.pcx"), 0) << "demo/night.pcx does not load";
        EXPECT_EQ(font::instance()->write(text.c_str(), -1, 480 - font::instance()->height), 0)
            << "\"" << text << "\" is too wide to be drawn";
        EXPECT_EQ(chdir(here), 0);
        return std::vector<pixel>(g->pixels, g->pixels + SCREEN_PIXELS);
    }

    ScratchDir scratch;
    std::vector<std::string> lines;
};

TEST_F(Demo, EveryLyricLineStandsAloneOnThePicture)
{
    int texts = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        if (command(lines[i]) != script::TEXT)
            continue;
        texts++;
        std::string text = argument(lines[i]);
        std::vector<pixel> want = expected(text);
        const std::vector<pixel>& got = shownframes[i];
        for (int p = 0; p < SCREEN_PIXELS; p++)
            if (got[p] != want[p]) {
                ADD_FAILURE() << "after script line " << i + 1 << " \"" << lines[i] << "\" pixel (" << p % 640
                              << ", " << p / 640 << ") is " << std::hex << got[p] << ", not " << want[p]
                              << " as on the picture with only this line drawn";
                break;
            }
    }
    EXPECT_GT(texts, 20) << "the demo shows too few lyric lines";
}

TEST_F(Demo, EachWordIsHighlightedInItsTurn)
{
    font* f = font::instance();
    int highlighted = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        std::string text = command(lines[i]) == script::TEXT ? argument(lines[i]) : "";
        size_t from = text.find('%'), to = text.find('%', from + 1);
        if (from == std::string::npos)
            continue;
        ASSERT_NE(to, std::string::npos) << "unpaired % on script line " << i + 1;
        highlighted++;
        // The highlighted word's columns, measured as the font places the line.
        std::string plain = text.substr(0, from) + text.substr(from + 1, to - from - 1) + text.substr(to + 1);
        auto columns = [f](const std::string& s) { return int(f->textwidth(s.c_str())); };
        int left = (640 - columns(plain)) / 2 + columns(text.substr(0, from));
        int right = left + columns(text.substr(from + 1, to - from - 1));
        int inside = 0;
        for (int y = 480 - f->height; y < 480; y++)
            for (int x = 0; x < 640; x++)
                if (shownframes[i][y * 640 + x] == HLCOL) {
                    ASSERT_TRUE(x >= left && x < right) << "script line " << i + 1 << " \"" << lines[i]
                                                        << "\": highlight at (" << x << ", " << y
                                                        << "), outside the word's columns " << left << " to "
                                                        << right - 1;
                    inside++;
                }
        EXPECT_GT(inside, 0) << "script line " << i + 1 << " \"" << lines[i] << "\" shows no highlight";
    }
    EXPECT_GT(highlighted, 20) << "the demo highlights too few words";
}

TEST_F(Demo, LinesFitTheReader)
{
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_LE(lines[i].size(), 99u) << "script line " << i + 1 << " is longer than tralune reads";
}

} // namespace
