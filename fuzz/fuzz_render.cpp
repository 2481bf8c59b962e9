// Fuzzes the key and tempo render with any bytes as the song: it must render or refuse with a reason,
// never crash, hang or leave a file behind but a whole render.
#include "fuzzfiles.h"
#include "render.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

static void fail(const char* why)
{
    fprintf(stderr, "fuzz_render: %s\n", why);
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string song = fuzzfile("song.mp3", data, size);
    std::string target = song.substr(0, song.rfind('/')) + "/render.mp3";
    unlink(target.c_str());
    // The first byte picks the change, so both a key change (formants kept) and a tempo change are tried.
    songchange c;
    if (size > 0) {
        c.key = int(data[0] % 13) - 6;
        c.tempo = 75 + int(data[0] / 13 % 51);
    }
    std::string error;
    int calls = 0;
    bool ok = rendersong(song, c, target, [&](double) { return ++calls < 100000; }, &error);
    struct stat st;
    bool there = stat(target.c_str(), &st) == 0;
    if (ok != there)
        fail(ok ? "a render that succeeded left no file" : "a render that failed left a file");
    if (!ok && error.empty())
        fail("a render failed without a reason");
    if (ok && st.st_size == 0)
        fail("a render that succeeded is empty");
    return 0;
}
