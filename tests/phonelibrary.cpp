// The phone tests' library folder.
#include "phonefixture.h"

#include <sys/stat.h>

#include <cstdio>

bool makelibrary(const std::string& folder)
{
    mkdir(folder.c_str(), 0755);
    auto song = [&](const std::string& stem, const std::string& tags) {
        std::string text = tags + "[00:01.00]La la la\n[00:03.00]La la\n";
        FILE* f = fopen((folder + "/" + stem + ".lrc").c_str(), "w");
        if (!f)
            return false;
        fputs(text.c_str(), f);
        fclose(f);
        f = fopen((folder + "/" + stem + ".mp3").c_str(), "w");
        if (!f)
            return false;
        fclose(f);
        return true;
    };
    return song("Bj\xc3\xb6rk - J\xc3\xb3ga", "") && song("AC_DC - Back in Black", "")
           && song("Queen - Bohemian Rhapsody", "") && song("Abba - Waterloo", "")
           && song("Nobody - Hostile", "[ar:Nobody]\n[ti:<script>alert(1)</script>]\n");
}
