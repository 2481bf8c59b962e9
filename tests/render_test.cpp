// Key and tempo renders, measured on what a player decodes from them: songs made by real writers (sox
// for the sound, lame for the MP3), rendered in-process, decoded with libmpg123 as mpg123 plays them.
#include "render.h"
#include "testfiles.h"

#include <mpg123.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

namespace {

// Runs a shell command; fails the test when it does not succeed.
void shell(const std::string& command)
{
    ASSERT_EQ(system(command.c_str()), 0) << command;
}

// Makes dir/name.mp3 with lame from the sound sox makes with that many channels and the effects; its
// path.
std::string makesong(const ScratchDir& dir, const std::string& name, int channels, const std::string& effects)
{
    std::string wav = dir / (name + ".wav"), mp3 = dir / (name + ".mp3");
    shell("sox -n -r 44100 -c " + std::to_string(channels) + " '" + wav + "' " + effects);
    shell("lame --quiet '" + wav + "' '" + mp3 + "'");
    unlink(wav.c_str());
    return mp3;
}

// The first channel of an MP3 as a player decodes it, gapless; empty when it cannot be decoded.
struct decoded {
    long rate = 0;
    std::vector<float> samples;
    double seconds() const { return rate ? double(samples.size()) / rate : 0; }
};

decoded decode(const std::string& path)
{
    decoded d;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_FLOAT, 0);
    long rate;
    int channels, encoding;
    if (mpg123_open(h, path.c_str()) == MPG123_OK && mpg123_getformat(h, &rate, &channels, &encoding) == MPG123_OK &&
        encoding == MPG123_ENC_FLOAT_32) {
        d.rate = rate;
        float buffer[8192];
        size_t bytes;
        int r;
        // The last samples come with MPG123_DONE.
        do {
            r = mpg123_read(h, buffer, sizeof buffer, &bytes);
            for (size_t k = 0; k < bytes / sizeof(float); k += size_t(channels))
                d.samples.push_back(buffer[k]);
        } while (r == MPG123_OK || r == MPG123_NEW_FORMAT);
    }
    mpg123_close(h);
    mpg123_delete(h);
    return d;
}

// The frequency of a steady tone between two times, from its rising zero crossings, each placed between
// its two samples: about a thousandth of a percent for a clean second of tone.
double frequency(const decoded& d, double from, double to)
{
    std::vector<double> crossings;
    for (size_t k = size_t(from * d.rate) + 1; k < size_t(to * d.rate) && k < d.samples.size(); k++)
        if (d.samples[k - 1] < 0 && d.samples[k] >= 0)
            crossings.push_back(k - 1 + d.samples[k - 1] / (d.samples[k - 1] - d.samples[k]));
    if (crossings.size() < 2)
        return 0;
    return (crossings.size() - 1) / ((crossings.back() - crossings.front()) / d.rate);
}

// Seconds into the song of the first sample louder than level; -1 when none is.
double firstloud(const decoded& d, float level)
{
    for (size_t k = 0; k < d.samples.size(); k++)
        if (std::fabs(d.samples[k]) > level)
            return double(k) / d.rate;
    return -1;
}

// The names in a folder, but for . and ..
std::vector<std::string> names(const std::string& folder)
{
    std::vector<std::string> found;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                found.push_back(e->d_name);
        closedir(d);
    }
    std::sort(found.begin(), found.end());
    return found;
}

class Render : public ::testing::Test {
protected:
    void SetUp() override { setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1); }
    std::string render(const std::string& song, songchange c)
    {
        std::string out = dir / "out.mp3", error;
        EXPECT_TRUE(rendersong(song, c, out, nullptr, &error)) << error;
        return out;
    }
    ScratchDir dir;
};

TEST_F(Render, AToneTwoSemitonesUpComesOutAWholeToneHigherAndJustAsLong)
{
    std::string song = makesong(dir, "a440", 2, "synth 2 sine 440 vol 0.5");
    decoded before = decode(song);
    ASSERT_NEAR(before.seconds(), 2.0, 0.001);
    decoded after = decode(render(song, {2, 100}));
    EXPECT_NEAR(frequency(after, 0.2, 1.8), 493.88, 493.88 * 0.005);
    EXPECT_NEAR(after.seconds(), 2.0, 0.010);
    // Down as well, with the tempo changed at once: 3 semitones down is 370 Hz, and 125 % lasts 1.6 s.
    decoded lower = decode(render(song, {-3, 125}));
    EXPECT_NEAR(frequency(lower, 0.2, 1.4), 369.99, 369.99 * 0.005);
    EXPECT_NEAR(lower.seconds(), 1.6, 0.010);
}

TEST_F(Render, AtNinetyPercentAThirtySecondSongLasts33sAndItsClickAtTenSecondsComesAt11s)
{
    // A quiet hum with a 10 ms click 10 s in.
    shell("cd '" + dir.path() + "' && sox -n -r 44100 -c 1 bed.wav synth 30 sine 220 vol 0.05 && "
          "sox -n -r 44100 -c 1 click.wav synth 0.01 square 2000 vol 0.9 pad 10 19.99 && "
          "sox -m -v 1 bed.wav -v 1 click.wav song.wav 2>/dev/null && lame --quiet song.wav song.mp3");
    decoded before = decode(dir / "song.mp3");
    ASSERT_NEAR(firstloud(before, 0.3f), 10.0, 0.002);
    decoded after = decode(render(dir / "song.mp3", {0, 90}));
    EXPECT_NEAR(after.seconds(), 33.333, 0.050);
    EXPECT_NEAR(firstloud(after, 0.3f), 11.111, 0.020);
    // The hum keeps its pitch: a tempo change is no key change.
    EXPECT_NEAR(frequency(after, 1, 9), 220, 220 * 0.005);
}

TEST_F(Render, TheCacheRendersEachChangeOfEachSongOnce)
{
    std::string song = makesong(dir, "gnusong", 1, "synth 1 sine 440 vol 0.5");
    // What renders killed long ago left behind goes; one under way (its file fresh) stays.
    shell("mkdir -p '" + dir / "cache/tralune" + "' && cd '" + dir / "cache/tralune" + "' && touch -d '2 days ago' "
          "old.mp3.part1-0 && touch new.mp3.part2-0");
    std::string path, again, error;
    bool made = false;
    ASSERT_TRUE(cachedrender(song, {1, 100}, nullptr, &path, &made, &error)) << error;
    EXPECT_EQ(access((dir / "cache/tralune/old.mp3.part1-0").c_str(), F_OK), -1);
    ASSERT_EQ(unlink((dir / "cache/tralune/new.mp3.part2-0").c_str()), 0);
    EXPECT_TRUE(made);
    EXPECT_EQ(path.rfind(dir / "cache/tralune/", 0), 0u) << path;
    struct stat first;
    ASSERT_EQ(stat(path.c_str(), &first), 0);
    ASSERT_TRUE(cachedrender(song, {1, 100}, nullptr, &again, &made, &error)) << error;
    EXPECT_FALSE(made);
    EXPECT_EQ(again, path);
    // A copy of the song elsewhere is the same song; another change, or another song under the same
    // name, is another render.
    shell("mkdir '" + dir / "copy" + "' && cp '" + song + "' '" + dir / "copy" + "'");
    EXPECT_EQ(renderpath(dir / "copy/gnusong.mp3", {1, 100}, &error), path);
    EXPECT_NE(renderpath(song, {1, 101}, &error), path);
    EXPECT_NE(renderpath(song, {2, 100}, &error), path);
    makesong(dir, "gnusong", 1, "synth 1 sine 441 vol 0.5");
    EXPECT_NE(renderpath(song, {1, 100}, &error), path);
    EXPECT_EQ(names(dir / "cache/tralune").size(), 1u);
}

TEST_F(Render, ARenderStoppedHalfwayLeavesNothingBehind)
{
    std::string song = makesong(dir, "gnusong", 1, "synth 3 sine 440 vol 0.5");
    std::string target = dir / "cache/tralune/r.mp3", error;
    ASSERT_EQ(system(("mkdir -p '" + dir / "cache/tralune" + "'").c_str()), 0);
    double last = 0;
    EXPECT_FALSE(rendersong(song, {2, 100}, target, [&](double done) { return (last = done) < 0.5; }, &error));
    EXPECT_EQ(error, "stopped");
    EXPECT_GE(last, 0.5);
    EXPECT_LT(last, 0.7);
    EXPECT_TRUE(names(dir / "cache/tralune").empty());
    // Told as it goes, from the start to the end.
    std::vector<double> told;
    ASSERT_TRUE(rendersong(song, {2, 100}, target, [&](double done) { told.push_back(done); return true; }, &error));
    ASSERT_GT(told.size(), 10u);
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), 1.0);
    EXPECT_EQ(names(dir / "cache/tralune"), std::vector<std::string>{"r.mp3"});
}

TEST_F(Render, WhatCannotBeRenderedIsRefusedWithItsReasonAndNoFile)
{
    std::string song = makesong(dir, "gnusong", 1, "synth 1 sine 440");
    std::string text = dir.write("notes.mp3", "not a song at all, only words\n"), error;
    std::string target = dir / "out.mp3";
    struct {
        std::string song;
        songchange change;
        std::string reason;
    } cases[] = {
        {dir / "missing.mp3", {2, 100}, dir / "missing.mp3: No such file or directory"},
        {dir.path(), {2, 100}, dir.path() + ": not a file"},
        {text, {2, 100}, "not an MP3 file that can be decoded"},
        {song, {7, 100}, "the key must be from -6 to 6 semitones and the tempo from 75 to 125 %"},
        {song, {0, 74}, "the key must be from -6 to 6 semitones and the tempo from 75 to 125 %"},
        {song, {2, 100}, dir / "nofolder/out.mp3"},
    };
    for (auto& c : cases) {
        error.clear();
        std::string to = c.reason == dir / "nofolder/out.mp3" ? c.reason : target;
        EXPECT_FALSE(rendersong(c.song, c.change, to, nullptr, &error)) << c.song;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
    }
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"gnusong.mp3", "notes.mp3"}));
    // Without a cache folder to go to, nothing is rendered.
    unsetenv("XDG_CACHE_HOME");
    unsetenv("HOME");
    EXPECT_EQ(renderpath(song, {2, 100}, &error), "");
    EXPECT_EQ(error, "no folder to keep renders in: neither XDG_CACHE_HOME nor HOME is set");
}

} // namespace
