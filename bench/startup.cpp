// Start-up: the time to the first frame against the bare program.
#include "common.h"

namespace bench {

// Start-up to the first frame: the player on a script whose first line is "hop()" and whose second
// waits, against the bare program on the same script; each has shown its first frame when it first
// sleeps. Then the peak memory of both on that script.
void startup()
{
    Stage st;
    writefile(st.work("font.pcx"), encodepcx(benchFont()));
    st.dir.write("work/start.txt", "hop()\nusleep(300000)\n");
    std::vector<double> ours, bare, ratios;
    for (int r = 0; r < reps; r++) {
        Run a, b;
        for (int side = 0; side < 2; side++) {
            if ((side == 0) == (r % 2 == 0))
                a = runprogram(st, TRALUNE_BINARY, {"start.txt"}, true);
            else
                b = runprogram(st, BARE_BINARY, {"start.txt"}, true);
        }
        if (a.status != 0 || a.firstwait < 0 || a.output.find("Now i hop") == std::string::npos)
            die("the start-up run went wrong (status " + std::to_string(a.status) + "):\n" + a.output);
        if (b.status != 0 || b.firstwait < 0)
            die("the bare start-up run went wrong:\n" + b.output);
        ours.push_back(a.firstwait);
        bare.push_back(b.firstwait);
        ratios.push_back(a.firstwait / b.firstwait);
    }
    table.push_back({"start-up to first frame vs bare program", fmt("%.1f ms", median(ours) * 1e3),
                     fmt("%.1f ms", median(bare) * 1e3), fmt("%.2f", median(ratios)), "-", true});
}

} // namespace bench
