// The song: a whole song's lag and peak memory against the bare program, and the song's clock.
#include "common.h"
#include "script.h"
#include "tralune.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace bench {

namespace {

// What a script asks of a run, read with the player's own reader: its lines, when its last wait ends in
// seconds from the program's start ("sleep" and "usleep" add their count, "at" waits for 1.5 s + its
// song time unless that has passed), and the pictures it names in folder, and how many are not there.
struct plan {
    int lines = 0;
    double end = 0;
    int pictures = 0, missing = 0;
};
plan scriptplan(const std::string& path, const std::string& folder)
{
    plan p;
    scriptfile in(path.c_str());
    script s;
    char text[100];
    while (in.next(text)) {
        p.lines++;
        if (s.parseline(text) != script::OK || !s.cmd[0])
            continue;
        int n = readnumber(s.args);
        long long ms;
        struct stat sb;
        switch (s.findcommand()) {
        case script::SLEEP:
            p.end += std::max(n, 0);
            break;
        case script::USLEEP:
            p.end += std::max(n, 0) / 1e6;
            break;
        case script::AT:
            if (readsongtime(s.args, &ms) == 0)
                p.end = std::max(p.end, SONG_DELAY_NS / 1e9 + ms / 1e3);
            break;
        case script::SETIMG:
            p.pictures++;
            p.missing += stat((folder + "/" + s.args).c_str(), &sb) != 0;
            break;
        }
    }
    return p;
}

// A script of a song's shape, used when there is no demo song yet: a picture for each of 12 verses,
// then four lyric lines each held by a wait, with a fill between verses.
std::string standinscript()
{
    std::string s = "; stand-in song for the bench\nclearscreen(0,0,0)\n";
    for (int v = 0; v < 12; v++) {
        s += "setimg(pic640.pcx)\n";
        for (int l = 0; l < 4; l++) {
            s += std::string("text(") + lyrics[(v + l) % 8] + ")\n";
            s += "usleep(60000)\n";
        }
        s += "clearscreen(0,0," + std::to_string(v * 20) + ")\n";
    }
    return s;
}

} // namespace

// The whole song: how much later than the sum of its waits its last line is shown.
void songlag(const std::string& source, const std::string& fixtures)
{
    Stage st;
    std::string demo = source + "/demo";
    std::string scriptname = "script.txt", label;
    struct stat sb;
    if (stat((demo + "/script.txt").c_str(), &sb) == 0) {
        std::string cmd = "cp -r '" + demo + "/.' '" + st.work() + "'";
        if (system(cmd.c_str()) != 0)
            die("cannot copy the demo song");
        label = "demo song";
    } else {
        st.dir.write("work/script.txt", standinscript());
        label = "stand-in song (no demo/script.txt yet)";
    }
    if (stat(st.work("font.pcx").c_str(), &sb) != 0)
        writefile(st.work("font.pcx"), encodepcx(benchFont()));
    std::string cmd = "cp '" + fixtures + "/pic640.pcx' '" + st.work() + "'";
    if (stat(st.work("pic640.pcx").c_str(), &sb) != 0 && system(cmd.c_str()) != 0)
        die("cannot copy the picture");

    plan planned = scriptplan(st.work(scriptname), st.work());
    int lines = planned.lines, pictures = planned.pictures, missing = planned.missing;
    double waits = planned.end;
    // A long song is run fewer times: about a minute in all, at least 3 runs of each side.
    int runs = std::max(3, std::min(reps, int(30 / std::max(waits, 0.1))));
    std::vector<double> lag, barelag, total, bare, rss, barerss;
    for (int r = 0; r < runs; r++) {
        for (int side = 0; side < 2; side++) {
            bool ours = (side == 0) == (r % 2 == 0);
            // Under /usr/bin/time on both sides, for the peak memory of the same runs.
            Run a = runprogram(st, ours ? TRALUNE_BINARY : BARE_BINARY, {scriptname}, false, true);
            if (a.status != 0)
                die("the song run ended with status " + std::to_string(a.status) + ":\n" + a.output);
            (ours ? total : bare).push_back(a.seconds);
            (ours ? lag : barelag).push_back(a.seconds - waits);
            (ours ? rss : barerss).push_back(a.maxrsskb);
        }
    }
    printf("song: %s, %d lines, %d pictures (%d missing), waits %.3f s, %d runs of each side\n", label.c_str(),
           lines, pictures, missing, waits, runs);
    double l = median(lag), bl = median(barelag);
    table.push_back({"whole song: run time vs bare program", fmt("%.3f s", median(total)), fmt("%.3f s", median(bare)),
                     fmt("%.3f", median(total) / median(bare)), "-", true});
    table.push_back({"whole song: lag of the last line over its planned time", fmt("%.0f ms", l * 1e3),
                     fmt("%.0f ms", bl * 1e3), fmt("%+.2f ms/line", (l - bl) * 1e3 / lines), "-", true});
    double mb = median(rss) / 1024;
    table.push_back({"peak memory, whole song", fmt("%.1f MB", mb), fmt("%.1f MB", median(barerss) / 1024),
                     fmt("%.2f", median(rss) / median(barerss)), "< 16 MB", mb < 16});
}

// The song's clock: a 3-minute song of 600 lines (a lyric line and a wait, 300 times), timed with
// "at", and the same song as a chain of "usleep" waits, each against a script of one line that only
// waits for the same song time, whose run is the process's own start and exit. The three run side by
// side, so that they meet the same load (they mostly sleep), each started a second after the one before,
// so that their start-ups and exits do not contend for the machine.
void songclock()
{
    const int pairs = 300;
    const double seconds = 180;
    std::string timed, chain = "usleep(1500000)\n";
    for (int i = 1; i <= pairs; i++) {
        std::string text = std::string("text(") + lyrics[i % 8] + ")\n";
        timed += text + fmt("at(%.3f)\n", seconds * i / pairs);
        chain += text + fmt("usleep(%.0f)\n", seconds / pairs * 1e6);
    }
    const std::string scripts[3] = {timed, chain, fmt("at(%.3f)\n", seconds)};
    Stage stages[3];
    for (int k = 0; k < 3; k++) {
        writefile(stages[k].work("font.pcx"), encodepcx(benchFont()));
        stages[k].dir.write("work/script.txt", scripts[k]);
    }
    int runs = std::max(1, reps / 5);
    std::vector<double> timedlag, chainlag, reference;
    for (int r = 0; r < runs; r++) {
        Run result[3];
        std::vector<std::thread> running;
        for (int k = 0; k < 3; k++)
            running.emplace_back([&, k] {
                sleep(unsigned(k));
                result[k] = runprogram(stages[k], TRALUNE_BINARY, {"script.txt"}, false);
            });
        for (auto& t : running)
            t.join();
        for (const Run& x : result)
            if (x.status != 0)
                die("a song-clock run ended with status " + std::to_string(x.status) + ":\n" + x.output);
        timedlag.push_back(result[0].seconds - result[2].seconds);
        chainlag.push_back(result[1].seconds - result[2].seconds);
        reference.push_back(result[2].seconds);
    }
    printf("song clock: 600 lines over %.0f s of song, %d runs of each script; the one-line script ran %.3f s\n",
           seconds, runs, median(reference));
    double lag = median(timedlag);
    table.push_back({"song clock: lag of the last of 600 lines, at() vs usleep chain", fmt("%.1f ms", lag * 1e3),
                     fmt("%.1f ms", median(chainlag) * 1e3), "-", "< 5 ms", lag < 0.005});
}

} // namespace bench
