// The key and tempo bench: what rendering a 4-minute song 2 semitones up costs against its length, and
// the lag of "at" lines at 80 % and 120 % tempo beside 100 %. Run through bench/run.sh ("tempo").
#include "common.h"
#include "render.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace bench;

namespace {

double cputime()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

void shell(const std::string& command)
{
    if (system(command.c_str()) != 0)
        die("failed: " + command);
}

// A 4-minute stereo song as lame makes them from a CD: a rising and falling tone on the left, pink noise
// on the right, at LAME's -V 2.
void render4min(const ScratchDir& dir)
{
    const double seconds = 240;
    shell("cd '" + dir.path() + "' && sox -n -r 44100 -c 2 song.wav synth 240 sine 110/880 pinknoise vol 0.4 "
          "2>/dev/null && lame --quiet -V 2 song.wav song.mp3 && rm song.wav");
    std::vector<double> cpu, wall;
    for (int r = 0; r < reps; r++) {
        std::string error;
        double c = cputime(), w = monotonic();
        if (!rendersong(dir / "song.mp3", {2, 100}, dir / "render.mp3", nullptr, &error))
            die("the render failed: " + error);
        cpu.push_back((cputime() - c) / seconds);
        wall.push_back((monotonic() - w) / seconds);
    }
    printf("render: a 4-minute stereo song at -V 2, key +2, %d renders, one thread\n", reps);
    table.push_back({"render of a 4-minute song, key +2, CPU time / song length", fmt("%.3f", median(cpu)),
                     fmt("%.3f (wall clock)", median(wall)), "-", "< 0.2", median(cpu) < 0.2});
}

// "at" lines at a tempo: a script of 300 lyric lines, each followed by "at" of its time over 30 s of song,
// against a script of the one line that waits for the same song time, side by side (the second started a
// second after the first). The run time beyond the one-line script's is the lag of the last line.
double atlag(int tempo, const std::string& song)
{
    const int pairs = 300;
    const double seconds = 30;
    std::string timed;
    for (int i = 1; i <= pairs; i++)
        timed += std::string("text(") + lyrics[i % 8] + ")\n" + fmt("at(%.3f)\n", seconds * i / pairs);
    const std::string scripts[2] = {timed, fmt("at(%.3f)\n", seconds)};
    Stage stages[2];
    for (int k = 0; k < 2; k++) {
        writefile(stages[k].work("font.pcx"), encodepcx(benchFont()));
        stages[k].dir.write("work/script.txt", scripts[k]);
        shell("cp '" + song + "' '" + stages[k].work("gnusong.mp3") + "'");
    }
    std::vector<std::string> args = {"--tempo", std::to_string(tempo), "script.txt"};
    // The render is made once, before any timing: every timed run takes it from the cache.
    runprogram(stages[1], TRALUNE_BINARY, {"--tempo", std::to_string(tempo), "no script"}, false);
    std::vector<double> lag;
    for (int r = 0; r < reps; r++) {
        Run result[2];
        std::thread other([&] {
            sleep(1);
            result[1] = runprogram(stages[1], TRALUNE_BINARY, args, false);
        });
        result[0] = runprogram(stages[0], TRALUNE_BINARY, args, false);
        other.join();
        for (const Run& x : result)
            if (x.status != 0)
                die("a run at tempo " + std::to_string(tempo) + " ended with status " + std::to_string(x.status) + ":\n" +
                    x.output);
        lag.push_back(result[0].seconds - result[1].seconds);
    }
    return median(lag);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        reps = std::max(1, atoi(argv[1]));
    std::string sections = argc > 2 ? argv[2] : "render,at";
    ScratchDir dir;
    setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (sections.find("render") != std::string::npos)
        render4min(dir);
    if (sections.find("at") != std::string::npos) {
        shell("cd '" + dir.path() + "' && sox -n -r 44100 -c 1 tone.wav synth 1 sine 440 2>/dev/null && "
              "lame --quiet tone.wav tone.mp3");
        double lag[3];
        const int tempos[3] = {100, 80, 120};
        for (int k = 0; k < 3; k++)
            lag[k] = atlag(tempos[k], dir / "tone.mp3");
        printf("at lines: 300 lyric lines and their at() over 30 s of song, %d runs at each tempo\n", reps);
        // No goal is judged: on a shared machine the process's start and exit vary by more than the
        // difference wanted, so the figures are read side by side.
        for (int k = 1; k < 3; k++)
            table.push_back({fmt("lag of the last of 600 lines at %.0f %% tempo vs at 100 %%", tempos[k]),
                             fmt("%.1f ms", lag[k] * 1e3), fmt("%.1f ms", lag[0] * 1e3),
                             fmt("%+.1f ms", (lag[k] - lag[0]) * 1e3), "-", true});
    }
    printtable();
    return 0;
}
