// The library scan: walks the folders, tells songs from other files, reads what changed and records
// it in batches, so the screen's list fills while a first scan of a large library goes on.
#include "storeimpl.h"
#include "importsong.h"
#include "karaokezip.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <unordered_map>

namespace {

// Songs written to the database in one transaction: small enough that the screen's searches wait
// only a moment for the lock, large enough that a first scan is not one disc sync per song.
const size_t BATCH = 512;

// A song file the walk found, with what the database needs of it.
struct found {
    songkind kind = songkind::cdg;
    std::string path, name, audio;
    int64_t size = 0, mtime = 0, audiosize = 0, audiomtime = 0;
    std::string title, artist;
    int64_t id = 0;        // the song it updates, 0 for a new one
};

// A song the database held before the scan.
struct known {
    int64_t id = 0;
    int kind = 0;
    std::string name, audio;
    int64_t size = 0, mtime = 0, audiosize = 0, audiomtime = 0;
    bool gone = false;
    bool seen = false;     // found by this scan (or claimed by a move)
};

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

int64_t mtimeof(const struct stat& st)
{
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The first bytes of a file, at most max: tags sit at a file's start in every format that has them.
std::string readhead(const std::string& path, size_t max)
{
    std::string head;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return head;
    head.resize(max);
    size_t got = 0;
    while (got < max) {
        ssize_t n = read(fd, &head[got], max - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    head.resize(got);
    return head;
}

// Whether a .mid holds lyrics, from its first bytes: a lyric event (meta type 5) or the marker of the
// karaoke text layout ("@K" in a text event) that .kar files use. Only a byte search, no reading of
// the file's structure: the importer reads it in full when the song is prepared, and a song that has
// no lyrics after all is then marked unplayable with the reason.
bool midihaslyrics(const std::string& head)
{
    return head.find("\xFF\x05") != std::string::npos || head.find("@K") != std::string::npos;
}

class scanner {
public:
    scanner(partystore::impl& d, nameorder order, const std::function<void(const scanprogress&)>& progress)
        : d(d), order(order), progress(progress)
    {
    }
    bool run(const std::vector<std::string>& folders, bool reread);
    scanprogress counts;

private:
    void walk(const std::string& root);
    void folder(const std::string& path, int fd);
    void consider(found f, int dirfd, const std::string& mainname, const std::string& audioname);
    void readtags(found& f);
    bool flush();
    void report(bool done);

    partystore::impl& d;
    nameorder order;
    const std::function<void(const scanprogress&)>& progress;
    bool reread = false;
    std::unordered_map<std::string, known> byPath;
    std::vector<found> writes;            // new and changed songs not yet written
    std::vector<found> maybemoved;        // new songs whose name and size a known song has
    std::vector<std::pair<int64_t, bool>> marks;  // songs to mark gone (true) or found again (false)
    std::set<std::pair<dev_t, ino_t>> visited;
    std::unordered_map<std::string, std::vector<std::string>> bynamesize;  // "name\nsize" -> paths
    bool dbfailed = false;
};

void scanner::readtags(found& f)
{
    std::string stem = f.name;
    if (f.kind != songkind::script) {
        size_t dot = stem.rfind('.');
        if (dot != std::string::npos && dot > 0)
            stem.resize(dot);
    }
    std::string artist, title;
    splitsongname(stem, order, artist, title);
    songtags t;
    if (f.kind == songkind::midi || f.kind == songkind::lrc || f.kind == songkind::ultrastar ||
        f.kind == songkind::ass)
        t = readsongtags(readhead(f.path, SONGTAGS_BYTES), f.name);
    f.title = validutf8(t.title.empty() ? title : t.title);
    f.artist = validutf8(t.artist.empty() ? artist : t.artist);
    if (f.title.empty())
        f.title = validutf8(f.name);
}

void scanner::consider(found f, int dirfd, const std::string& mainname, const std::string& audioname)
{
    struct stat st;
    if (fstatat(dirfd, mainname.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) {
        counts.skipped++;
        return;
    }
    f.size = st.st_size;
    f.mtime = mtimeof(st);
    if (!audioname.empty()) {
        if (fstatat(dirfd, audioname.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) {
            counts.skipped++;
            return;
        }
        f.audiosize = st.st_size;
        f.audiomtime = mtimeof(st);
    }
    counts.found++;
    auto it = byPath.find(f.path);
    if (it != byPath.end()) {
        known& k = it->second;
        k.seen = true;
        if (!reread && k.kind == int(f.kind) && k.size == f.size && k.mtime == f.mtime && k.audio == f.audio &&
            k.audiosize == f.audiosize && k.audiomtime == f.audiomtime) {
            if (k.gone)
                marks.push_back({k.id, false});
            return;
        }
        f.id = k.id;
        counts.changed++;
    } else {
        auto m = bynamesize.find(f.name + "\n" + std::to_string(f.size));
        if (m != bynamesize.end()) {
            // Decided when the walk is over: the known song may still turn up at its own path.
            maybemoved.push_back(std::move(f));
            return;
        }
        counts.added++;
    }
    readtags(f);
    writes.push_back(std::move(f));
    if (writes.size() >= BATCH)
        flush();
}

// One folder's songs. Each kind pairs files by their name without the extension, whose case is
// ignored ("Song.CDG" with "Song.mp3").
void scanner::folder(const std::string& path, int fd)
{
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::string> subfolders;
    // name without extension -> lower-case extension -> the file's name
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> files;
    std::vector<std::string> mp3s;
    bool prepared = false;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        // Hidden files include the "._NAME" copies some systems leave beside every file.
        if (name.empty() || name[0] == '.')
            continue;
        bool isdir = e->d_type == DT_DIR, isfile = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd(dir), e->d_name, &st, 0) != 0)
                continue;
            isdir = S_ISDIR(st.st_mode);
            isfile = S_ISREG(st.st_mode);
        }
        if (isdir) {
            subfolders.push_back(name);
            continue;
        }
        if (!isfile)
            continue;
        if (name == "script.txt")
            prepared = true;
        size_t dot = name.rfind('.');
        if (dot == std::string::npos || dot == 0)
            continue;
        std::string ext = lower(name.substr(dot + 1));
        if (ext == "mp3")
            mp3s.push_back(name);
        files[name.substr(0, dot)][ext] = name;
    }
    int dfd = dirfd(dir);
    if (prepared) {
        // A song already prepared for tralune: the folder is the song, named after the folder.
        found f;
        f.kind = songkind::script;
        f.path = path;
        f.name = path.substr(path.rfind('/') + 1);
        struct stat st;
        if (fstatat(dfd, "gnusong.mp3", &st, 0) == 0)
            f.audio = path + "/gnusong.mp3";
        consider(f, dfd, "script.txt", f.audio.empty() ? "" : "gnusong.mp3");
    } else {
        for (auto& stem : files) {
            auto& exts = stem.second;
            auto audio = exts.find("mp3");
            auto pair = [&](songkind kind, const std::string& name) {
                found f;
                f.kind = kind;
                f.path = path + "/" + name;
                f.name = name;
                if (audio == exts.end()) {
                    // A song without its audio cannot be sung: not recorded.
                    counts.skipped++;
                    return;
                }
                f.audio = path + "/" + audio->second;
                consider(f, dfd, name, audio->second);
            };
            for (auto& x : exts) {
                const std::string& ext = x.first;
                const std::string& name = x.second;
                if (ext == "cdg") {
                    pair(songkind::cdg, name);
                } else if (ext == "lrc") {
                    pair(songkind::lrc, name);
                } else if (ext == "ass" || ext == "ssa") {
                    pair(songkind::ass, name);
                } else if (ext == "kar" || ext == "mid" || ext == "midi") {
                    found f;
                    f.kind = songkind::midi;
                    f.path = path + "/" + name;
                    f.name = name;
                    if (ext != "kar" && !midihaslyrics(readhead(f.path, SONGTAGS_BYTES))) {
                        counts.skipped++;
                        continue;
                    }
                    consider(f, dfd, name, "");
                } else if (ext == "zip") {
                    found f;
                    f.kind = songkind::zip;
                    f.path = path + "/" + name;
                    f.name = name;
                    // Only the zip's directory is read: the same check the player's unpacking makes.
                    karaokezip z;
                    if (!z.open(f.path)) {
                        counts.skipped++;
                        continue;
                    }
                    consider(f, dfd, name, "");
                } else if (ext == "txt") {
                    // An UltraStar song names its title; any other text file does not. Its audio is the
                    // .mp3 of the same name, else the one .mp3 of its folder (each UltraStar song
                    // usually has a folder of its own); the importer follows the file's own #MP3 line.
                    found f;
                    f.kind = songkind::ultrastar;
                    f.path = path + "/" + name;
                    f.name = name;
                    songtags t = readsongtags(readhead(f.path, SONGTAGS_BYTES), name);
                    if (t.title.empty())
                        continue;
                    std::string song = audio != exts.end() ? audio->second : mp3s.size() == 1 ? mp3s[0] : "";
                    if (song.empty()) {
                        counts.skipped++;
                        continue;
                    }
                    f.audio = path + "/" + song;
                    consider(f, dfd, name, song);
                }
            }
        }
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const std::string& sub : subfolders) {
        int sfd = openat(dfd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (sfd < 0)
            continue;
        struct stat st;
        // Each real folder once, however many links lead to it: a link to a parent cannot loop.
        if (fstat(sfd, &st) != 0 || !visited.insert({st.st_dev, st.st_ino}).second) {
            close(sfd);
            continue;
        }
        folder(path + "/" + sub, sfd);
    }
    closedir(dir);
}

void scanner::walk(const std::string& root)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) != 0 || !visited.insert({st.st_dev, st.st_ino}).second) {
        close(fd);
        return;
    }
    folder(root, fd);
}

bool scanner::flush()
{
    if (writes.empty() && marks.empty())
        return !dbfailed;
    {
        std::lock_guard<std::mutex> hold(d.lock);
        transaction t(d);
        bool ok = t.ok();
        for (const found& f : writes) {
            if (!ok)
                break;
            if (f.id) {
                // A changed or moved file is read again, and given a new chance if it was marked.
                statement s(d, "UPDATE songs SET kind = ?, path = ?, name = ?, size = ?, mtime = ?, audio = ?,"
                               " audiosize = ?, audiomtime = ?, title = ?, artist = ?, failed = NULL, gone = 0"
                               " WHERE id = ?");
                ok = s.bind(int(f.kind)).bind(f.path).bind(f.name).bind(f.size).bind(f.mtime).bind(f.audio)
                         .bind(f.audiosize).bind(f.audiomtime).bind(f.title).bind(f.artist).bind(f.id).run();
            } else {
                statement s(d, "INSERT INTO songs(kind, path, name, size, mtime, audio, audiosize, audiomtime,"
                               " title, artist) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
                ok = s.bind(int(f.kind)).bind(f.path).bind(f.name).bind(f.size).bind(f.mtime).bind(f.audio)
                         .bind(f.audiosize).bind(f.audiomtime).bind(f.title).bind(f.artist).run();
            }
        }
        for (auto& r : marks)
            if (ok)
                ok = statement(d, "UPDATE songs SET gone = ? WHERE id = ?").bind(int(r.second)).bind(r.first).run();
        if (!ok || !t.commit())
            dbfailed = true;
    }
    writes.clear();
    marks.clear();
    report(false);
    return !dbfailed;
}

void scanner::report(bool done)
{
    counts.done = done;
    if (progress)
        progress(counts);
}

bool scanner::run(const std::vector<std::string>& folders, bool rereadall)
{
    reread = rereadall;
    {
        std::lock_guard<std::mutex> hold(d.lock);
        statement s(d, "SELECT id, kind, path, name, size, mtime, audio, audiosize, audiomtime, gone FROM songs");
        while (s.row()) {
            known k;
            k.id = s.integer(0);
            k.kind = int(s.integer(1));
            k.name = s.text(3);
            k.size = s.integer(4);
            k.mtime = s.integer(5);
            k.audio = s.text(6);
            k.audiosize = s.integer(7);
            k.audiomtime = s.integer(8);
            k.gone = s.integer(9) != 0;
            std::string path = s.text(2);
            bynamesize[k.name + "\n" + std::to_string(k.size)].push_back(path);
            byPath.emplace(std::move(path), std::move(k));
        }
        if (s.failed())
            return false;
    }
    std::vector<std::string> present;
    for (const std::string& given : folders) {
        std::string root = absolutepath(given);
        struct stat st;
        bool there = stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (there) {
            // An unplugged drive often leaves its mount point behind, empty: a root with nothing in it
            // that held songs is treated as not there.
            DIR* dir = opendir(root.c_str());
            bool empty = true;
            while (dir && empty)
                if (dirent* e = readdir(dir)) {
                    if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                        empty = false;
                } else {
                    break;
                }
            if (dir)
                closedir(dir);
            if (empty) {
                std::string prefix = root + "/";
                for (auto& k : byPath)
                    if (k.first.compare(0, prefix.size(), prefix) == 0) {
                        there = false;
                        break;
                    }
            }
        }
        if (!there) {
            counts.missing.push_back(given);
            continue;
        }
        present.push_back(root);
        walk(root);
        if (dbfailed)
            return false;
    }

    auto underpresent = [&](const std::string& path) {
        for (const std::string& root : present)
            if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
                return true;
        return false;
    };
    // A new file whose name and size belong to a song no longer at its path is that song, moved: it
    // keeps its id, so the queue and the history still point at it.
    for (found& f : maybemoved) {
        for (const std::string& old : bynamesize[f.name + "\n" + std::to_string(f.size)]) {
            known& k = byPath[old];
            if (!k.seen && k.kind == int(f.kind) && (k.gone || underpresent(old))) {
                k.seen = true;
                f.id = k.id;
                break;
            }
        }
        (f.id ? counts.moved : counts.added)++;
        readtags(f);
        writes.push_back(std::move(f));
        if (writes.size() >= BATCH)
            flush();
    }
    for (auto& k : byPath)
        if (!k.second.seen && !k.second.gone && underpresent(k.first)) {
            marks.push_back({k.second.id, true});
            counts.removed++;
        }
    bool ok = flush();
    report(true);
    return ok;
}

} // namespace

bool partystore::scan(const std::vector<std::string>& folders, nameorder order,
                      const std::function<void(const scanprogress&)>& progress, scanprogress* result)
{
    // Titles taken from names depend on the name order: a scan in another order than the last reads
    // every song again.
    std::string orderkey = order == nameorder::artisttitle ? "artist-title" : "title-artist";
    bool reread = setting("scan.nameorder", orderkey) != orderkey;
    scanner s(*d, order, progress);
    bool ok = s.run(folders, reread);
    if (ok)
        ok = setsetting("scan.nameorder", orderkey);
    if (result)
        *result = s.counts;
    return ok;
}
