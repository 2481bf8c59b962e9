// The karaoke zip reader, on libzip.
#include "karaokezip.h"
#include "cli.h"

#include <zip.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string lowercase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

bool endswith(const std::string& s, const std::string& end)
{
    return s.size() > end.size() && lowercase(s.substr(s.size() - end.size())) == end;
}

std::string basename(const std::string& name)
{
    size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Whether a name would reach outside the folder it is unpacked in, read as unpackers read it: either
// slash separates folders (zips made on Windows use "\"), and a drive letter is absolute too.
bool climbsout(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'))
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = name.find_first_of("/\\", start);
        if (name.substr(start, end == std::string::npos ? std::string::npos : end - start) == "..")
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

// The Finder adds a copy of each file's extended attributes as "__MACOSX/.../._NAME" (or "._NAME" for
// some other archivers): same extension, no song in it.
bool isappledouble(const std::string& name)
{
    return name.compare(0, 9, "__MACOSX/") == 0 || basename(name).compare(0, 2, "._") == 0;
}

} // namespace

karaokezip::~karaokezip()
{
    if (z)
        zip_discard(z);
}

bool karaokezip::open(const std::string& path)
{
    file = path;
    int error = 0;
    z = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!z) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        reason = std::string("cannot be read as a zip: ") + zip_error_strerror(&e);
        zip_error_fini(&e);
        return false;
    }
    zip_int64_t n = zip_get_num_entries(z, 0);
    int streams = 0, songs = 0;
    for (zip_int64_t i = 0; i < n; i++) {
        zip_stat_t st;
        if (zip_stat_index(z, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            reason = std::string("cannot read entry ") + std::to_string(i + 1) + ": " + zip_strerror(z);
            return false;
        }
        std::string name = st.name;
        if (climbsout(name)) {
            reason = "the entry " + quoted(name) + " would be unpacked outside the folder: not unpacked";
            return false;
        }
        if (name.back() == '/' || isappledouble(name))
            continue;
        bool iscdg = endswith(name, ".cdg"), ismp3 = endswith(name, ".mp3");
        if (!iscdg && !ismp3)
            continue;
        entry e;
        e.index = i;
        e.name = name;
        e.size = (st.valid & ZIP_STAT_SIZE) && st.size <= zip_uint64_t(1LL << 62) ? (long long)st.size : -1;
        long long limit = iscdg ? MAX_STREAM_BYTES : MAX_SONG_BYTES;
        if (e.size < 0 || e.size > limit) {
            reason = "the entry " + quoted(name) + " is bigger than any " + (iscdg ? "stream" : "song") +
                     " (" + std::to_string(limit >> 20) + " MB at most): not unpacked";
            return false;
        }
        (iscdg ? streams : songs)++;
        (iscdg ? stream : song) = e;
    }
    if (streams != 1 || songs != 1) {
        auto count = [](int k, const char* what) {
            return (k == 0 ? std::string("no ") : k == 1 ? std::string("one ") : std::to_string(k) + " ") + what +
                   (k > 1 ? "s" : "");
        };
        reason = "holds " + count(streams, ".cdg stream") + " and " + count(songs, ".mp3 song") +
                 ": a karaoke zip holds one of each";
        return false;
    }
    if (stream.size < 24) {
        reason = "the stream " + quoted(stream.name) + " holds no whole packet";
        return false;
    }
    return true;
}

std::string karaokezip::streamname() const { return basename(stream.name); }
std::string karaokezip::songname() const { return basename(song.name); }

template <class F> bool karaokezip::read(const entry& e, F put)
{
    zip_file_t* f = zip_fopen_index(z, zip_uint64_t(e.index), 0);
    if (!f) {
        reason = "cannot read " + quoted(e.name) + ": " + zip_strerror(z);
        return false;
    }
    char buffer[65536];
    long long total = 0;
    bool ok = true;
    for (;;) {
        zip_int64_t got = zip_fread(f, buffer, sizeof buffer);
        if (got < 0) {
            reason = "cannot read " + quoted(e.name) + ": " + zip_file_strerror(f);
            ok = false;
            break;
        }
        if (got == 0)
            break;
        total += got;
        if (total > e.size) {
            reason = "the entry " + quoted(e.name) + " unpacks to more than the " + std::to_string(e.size) +
                     " bytes it says it holds: not unpacked";
            ok = false;
            break;
        }
        if (cancel && cancel->load()) {
            reason = "interrupted";
            ok = false;
            break;
        }
        if (!put(buffer, size_t(got))) {
            ok = false;
            break;
        }
    }
    zip_fclose(f);
    if (ok && total != e.size) {
        reason = "the entry " + quoted(e.name) + " is cut short";
        ok = false;
    }
    return ok;
}

bool karaokezip::readstream(std::vector<unsigned char>& bytes)
{
    bytes.clear();
    return read(stream, [&bytes](const char* p, size_t n) {
        bytes.insert(bytes.end(), p, p + n);
        return true;
    });
}

bool karaokezip::unpack(const std::string& streamtemp, const std::string& songtemp, const std::atomic<bool>* stop)
{
    cancel = stop;
    bool ok = unpackto(stream, streamtemp) && unpackto(song, songtemp);
    cancel = nullptr;
    return ok;
}

bool karaokezip::unpackto(const entry& e, const std::string& temp)
{
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        reason = "cannot write " + quoted(temp) + ": " + strerror(errno);
        return false;
    }
    bool ok = read(e, [&](const char* p, size_t n) {
        while (n > 0) {
            ssize_t w = write(fd, p, n);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                reason = "cannot write " + quoted(temp) + ": " + strerror(errno);
                return false;
            }
            p += w;
            n -= size_t(w);
        }
        return true;
    });
    if (close(fd) != 0 && ok) {
        reason = "cannot write " + quoted(temp) + ": " + strerror(errno);
        ok = false;
    }
    if (!ok)
        unlink(temp.c_str());
    return ok;
}
