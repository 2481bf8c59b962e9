// A private scratch folder for the fuzz targets.
#include "fuzzfiles.h"
#include "testfiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

std::string folder;
std::set<std::string> written;

void removefolder()
{
    for (const std::string& name : written)
        unlink((folder + "/" + name).c_str());
    rmdir(folder.c_str());
}

} // namespace

std::string fuzzfile(const std::string& name, const uint8_t* data, size_t size)
{
    if (folder.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tralune-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            perror("mkdtemp");
            abort();
        }
        folder = pattern;
        atexit(removefolder);
    }
    std::string path = folder + "/" + name;
    written.insert(name);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        perror(path.c_str());
        abort();
    }
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            perror(path.c_str());
            abort();
        }
        done += size_t(n);
    }
    close(fd);
    return path;
}

std::string fuzzstage()
{
    std::vector<uint8_t> bytes = encodepcx(fullFont());
    std::string font = fuzzfile("font.pcx", bytes.data(), bytes.size());
    PcxImage picture;
    picture.width = picture.height = 2;
    picture.indexes = {1, 2, 3, 4};
    picture.palette = rampPalette();
    bytes = encodepcx(picture);
    fuzzfile("picture.pcx", bytes.data(), bytes.size());
    // A song folder has its song; the checker warns of one that does not.
    fuzzfile("gnusong.mp3", bytes.data(), 0);
    if (chdir(folder.c_str()) != 0) {
        perror(folder.c_str());
        abort();
    }
    return font;
}
