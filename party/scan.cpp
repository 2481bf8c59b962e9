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

// Songs written to the database in one transaction: the first batch small, so the screen's list
// fills at once; each next one twice as large, up to BATCH, because every transaction writes again the
// index pages its songs touched. The screen's searches wait for the lock only while a batch is written.
const size_t FIRSTBATCH = 256;
const size_t BATCH = 2048;

// A song file the walk found, with what the database needs of it.
struct found {
    songkind kind = songkind::cdg;
    std::string path, name, audio;
    int64_t size = 0, mtime = 0, audiosize = 0, audiomtime = 0;
    std::string title, artist;
    bool tagsread = false;
    int64_t id = 0;        // the song it updates, 0 for a new one
};

// A song the database held before the scan, kept small: a library of 100,000 songs is held whole.
// Paths are kept as hashes; the few paths needed at the end (for songs not seen) are read again.
struct known {
    int64_t id = 0;
    uint64_t audio = 0;    // hash of the audio path
    int64_t size = 0, mtime = 0, audiosize = 0, audiomtime = 0;
    int kind = 0;
    bool gone = false;
    bool seen = false;     // found by this scan (or claimed by a move)
};

uint64_t hash(const std::string& s, uint64_t h = 1469598103934665603ULL)
{
    // FNV-1a: two different paths of a library share a 64-bit hash once in billions of libraries.
    for (unsigned char c : s)
        h = (h ^ c) * 1099511628211ULL;
    return h;
}

uint64_t namesize(const std::string& name, int64_t size)
{
    return hash(name, uint64_t(size) * 0x9E3779B97F4A7C15ULL + 1469598103934665603ULL);
}

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
    struct stat st;
    size_t want = fstat(fd, &st) == 0 && st.st_size >= 0 ? std::min(max, size_t(st.st_size)) : max;
    head.resize(want);
    size_t got = 0;
    while (got < want) {
        ssize_t n = read(fd, &head[got], want - got);
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

// What a new or changed file's own check says of it.
enum verdict { song, notsong, notkaraoke };

class scanner {
public:
    scanner(partystore::impl& d, nameorder order, const std::function<void(const scanprogress&)>& progress)
        : d(d), order(order), progress(progress)
    {
    }
    bool run(const std::vector<std::string>& folders, bool reread);
    scanprogress counts;

private:
    void folder(const std::string& path, int fd);
    void consider(found f, int dirfd, const std::string& mainname, const std::string& audioname,
                  verdict (*check)(found&) = nullptr);
    void readtags(found& f);
    bool flush();
    void report(bool done);
    std::string pathof(int64_t id);

    partystore::impl& d;
    nameorder order;
    const std::function<void(const scanprogress&)>& progress;
    bool reread = false;
    std::vector<known> songs;
    std::unordered_map<uint64_t, uint32_t> bypath;            // path hash -> index in songs
    std::unordered_multimap<uint64_t, uint32_t> bynamesize;   // name and size -> index in songs
    std::vector<found> writes;            // new and changed songs not yet written
    std::vector<found> maybemoved;        // new songs whose name and size a known song has
    std::vector<std::pair<int64_t, bool>> marks;  // songs to mark gone (true) or found again (false)
    std::set<std::pair<dev_t, ino_t>> visited;
    bool dbfailed = false;
    int64_t lastreport = 0;
    size_t batch = FIRSTBATCH;
};

void scanner::readtags(found& f)
{
    if (f.tagsread)
        return;
    f.tagsread = true;
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

// A file is read only when it is new or has changed: a rescan of an unchanged library looks at the
// folders and the files' sizes and times, nothing more.
void scanner::consider(found f, int dirfd, const std::string& mainname, const std::string& audioname,
                       verdict (*check)(found&))
{
    struct stat st;
    if (fstatat(dirfd, mainname.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode))
        return;
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
    auto it = bypath.find(hash(f.path));
    known* k = it != bypath.end() ? &songs[it->second] : nullptr;
    if (k && !reread && k->kind == int(f.kind) && k->size == f.size && k->mtime == f.mtime &&
        k->audio == hash(f.audio) && k->audiosize == f.audiosize && k->audiomtime == f.audiomtime) {
        k->seen = true;
        counts.found++;
        if (k->gone)
            marks.push_back({k->id, false});
        if (counts.found - lastreport >= 1000)
            report(false);
        return;
    }
    if (check) {
        verdict v = check(f);
        if (v != song) {
            if (v == notkaraoke)
                counts.skipped++;
            return;
        }
    }
    counts.found++;
    if (k) {
        k->seen = true;
        f.id = k->id;
        counts.changed++;
    } else if (bynamesize.count(namesize(f.name, f.size))) {
        // Decided when the walk is over: the known song may still turn up at its own path.
        maybemoved.push_back(std::move(f));
        return;
    } else {
        counts.added++;
    }
    readtags(f);
    writes.push_back(std::move(f));
    if (writes.size() >= batch) {
        flush();
        batch = std::min(batch * 2, BATCH);
    }
}

// The checks of kinds that cannot be told by their names alone.
verdict checkzip(found& f)
{
    // Only the zip's directory is read: the same check the importer makes before unpacking.
    karaokezip z;
    return z.open(f.path) ? song : notkaraoke;
}

verdict checkmidi(found& f)
{
    return lower(f.name.substr(f.name.rfind('.'))) == ".kar" || midihaslyrics(readhead(f.path, SONGTAGS_BYTES))
               ? song : notkaraoke;
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
            for (auto& x : exts) {
                const std::string& ext = x.first;
                found f;
                f.path = path + "/" + x.second;
                f.name = x.second;
                if (ext == "cdg" || ext == "lrc" || ext == "ass" || ext == "ssa") {
                    f.kind = ext == "cdg" ? songkind::cdg : ext == "lrc" ? songkind::lrc : songkind::ass;
                    if (audio == exts.end()) {
                        // A song without its audio cannot be sung: not recorded.
                        counts.skipped++;
                        continue;
                    }
                    f.audio = path + "/" + audio->second;
                    consider(f, dfd, x.second, audio->second);
                } else if (ext == "kar" || ext == "mid" || ext == "midi") {
                    f.kind = songkind::midi;
                    consider(f, dfd, x.second, "", checkmidi);
                } else if (ext == "zip") {
                    f.kind = songkind::zip;
                    consider(f, dfd, x.second, "", checkzip);
                } else if (ext == "txt") {
                    // An UltraStar song names its title; any other text file does not. Its audio is the
                    // .mp3 of the same name, else the one .mp3 of its folder (each UltraStar song
                    // usually has a folder of its own); the importer follows the file's own #MP3 line.
                    f.kind = songkind::ultrastar;
                    std::string music = audio != exts.end() ? audio->second : mp3s.size() == 1 ? mp3s[0] : "";
                    f.audio = music.empty() ? "" : path + "/" + music;
                    consider(f, dfd, x.second, music, [](found& f) {
                        songtags t = readsongtags(readhead(f.path, SONGTAGS_BYTES), f.name);
                        if (t.title.empty())
                            return notsong;
                        return f.audio.empty() ? notkaraoke : song;
                    });
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

bool scanner::flush()
{
    if (writes.empty() && marks.empty())
        return !dbfailed;
    {
        std::lock_guard<std::mutex> hold(d.lock);
        // A scan's batches need not reach the disc before the next: after a power cut the next scan
        // finds what they held again. The queue's own changes are synced each (see open).
        statement(d, "PRAGMA synchronous=NORMAL").run();
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
        statement(d, "PRAGMA synchronous=FULL").run();
    }
    writes.clear();
    marks.clear();
    report(false);
    return !dbfailed;
}

void scanner::report(bool done)
{
    counts.done = done;
    lastreport = counts.found;
    if (progress)
        progress(counts);
}

std::string scanner::pathof(int64_t id)
{
    std::lock_guard<std::mutex> hold(d.lock);
    statement s(d, "SELECT path FROM songs WHERE id = ?");
    s.bind(id);
    return s.row() ? s.text(0) : "";
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
            k.size = s.integer(4);
            k.mtime = s.integer(5);
            k.audio = hash(s.text(6));
            k.audiosize = s.integer(7);
            k.audiomtime = s.integer(8);
            k.gone = s.integer(9) != 0;
            bypath[hash(s.text(2))] = uint32_t(songs.size());
            bynamesize.emplace(namesize(s.text(3), k.size), uint32_t(songs.size()));
            songs.push_back(k);
        }
        if (s.failed())
            return false;
    }
    std::vector<std::string> present;
    auto underpresent = [&](const std::string& path) {
        for (const std::string& root : present)
            if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
                return true;
        return false;
    };
    for (const std::string& given : folders) {
        std::string root = absolutepath(given);
        struct stat st;
        bool there = stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (there) {
            // An unplugged drive often leaves its mount point behind, empty: a root with nothing in it
            // that held songs is treated as not there.
            bool empty = true;
            if (DIR* dir = opendir(root.c_str())) {
                while (dirent* e = readdir(dir))
                    if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) {
                        empty = false;
                        break;
                    }
                closedir(dir);
            }
            if (empty) {
                std::lock_guard<std::mutex> hold(d.lock);
                statement s(d, "SELECT 1 FROM songs WHERE substr(path, 1, ?) = ? LIMIT 1");
                s.bind(int(root.size() + 1)).bind(root + "/");
                there = !s.row();
            }
        }
        if (!there) {
            counts.missing.push_back(given);
            continue;
        }
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && fstat(fd, &st) == 0 && visited.insert({st.st_dev, st.st_ino}).second) {
            present.push_back(root);
            folder(root, fd);
        } else if (fd >= 0) {
            close(fd);
        }
        if (dbfailed)
            return false;
    }

    // A new file whose name and size belong to a song no longer at its path is that song, moved: it
    // keeps its id, so the queue and the history still point at it.
    for (found& f : maybemoved) {
        auto range = bynamesize.equal_range(namesize(f.name, f.size));
        for (auto it = range.first; it != range.second; ++it) {
            known& k = songs[it->second];
            if (!k.seen && k.kind == int(f.kind) && (k.gone || underpresent(pathof(k.id)))) {
                k.seen = true;
                f.id = k.id;
                break;
            }
        }
        (f.id ? counts.moved : counts.added)++;
        readtags(f);
        writes.push_back(std::move(f));
        if (writes.size() >= batch) {
            flush();
            batch = std::min(batch * 2, BATCH);
        }
    }
    for (known& k : songs)
        if (!k.seen && !k.gone && underpresent(pathof(k.id))) {
            marks.push_back({k.id, true});
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
    std::lock_guard<std::mutex> one(d->scanning);
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
