// Songs made ready to sing in the background.
#include "prepare.h"

#include "importsong.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace {

bool isfile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// What a prepared folder was made from: each source file's path, size and time. A folder whose stamp
// matches its song's files now is still good; any other is made again.
std::string stampof(const songinfo& s)
{
    std::ostringstream out;
    for (const std::string& path : {s.path, s.audio}) {
        if (path.empty())
            continue;
        struct stat st;
        if (stat(path.c_str(), &st) != 0)
            return "";
        out << path << '\n' << st.st_size << '\n' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << '\n';
    }
    return out.str();
}

std::string readall(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int removeone(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

// Empties folder (a folder of the cache, never anything else) and makes it again.
bool fresh(const std::string& folder)
{
    nftw(folder.c_str(), removeone, 16, FTW_DEPTH | FTW_PHYS);
    std::string parent = folder.substr(0, folder.rfind('/'));
    mkdir(parent.c_str(), 0755);
    return mkdir(folder.c_str(), 0755) == 0;
}

const char* STAMP = "/.prepared-from";

// Makes folder and the folders above it that are missing.
void makefolders(const std::string& folder)
{
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        mkdir(folder.substr(0, slash).c_str(), 0755);
    mkdir(folder.c_str(), 0755);
}

} // namespace

preparedsong preparer::preparenow(const songinfo& s, const std::string& folder, const std::atomic<bool>* cancel)
{
    preparedsong p;
    p.now = preparedsong::FAILED;
    if (s.kind == songkind::script) {
        if (!isfile(s.path + "/script.txt")) {
            p.reason = s.path + ": error: the folder holds no script.txt";
            return p;
        }
        p.now = preparedsong::READY;
        p.folder = s.path;
        return p;
    }
    std::string stamp = stampof(s);
    if (stamp.empty()) {
        p.reason = (isfile(s.path) ? s.audio : s.path) + ": error: the file is not there any more";
        return p;
    }
    if (isfile(folder + "/script.txt") && readall(folder + STAMP) == stamp) {
        p.now = preparedsong::READY;
        p.folder = folder;
        return p;
    }
    if (!fresh(folder)) {
        p.reason = folder + ": error: cannot make the folder to prepare the song in";
        return p;
    }
    importoptions o;
    o.song = s.audio;
    importresult r = importsong(s.path, folder, o, cancel);
    if (!r.ok) {
        p.reason = r.error.empty() ? s.path + ": error: the song could not be prepared" : r.error;
        return p;
    }
    std::ofstream(folder + STAMP, std::ios::binary) << stamp;
    p.now = preparedsong::READY;
    p.folder = folder;
    return p;
}

preparer::preparer(const std::string& cache) : songs(cache + "/songs")
{
    makefolders(songs);
    worker = std::thread([this] { work(); });
}

preparer::~preparer()
{
    {
        std::lock_guard<std::mutex> hold(lock);
        ending = true;
        cancel = true;
    }
    news.notify_all();
    worker.join();
}

void preparer::want(const std::vector<songinfo>& list, const std::vector<songchange>& asked)
{
    std::lock_guard<std::mutex> hold(lock);
    wanted = list;
    changes = asked;
    changes.resize(wanted.size());
    bool stillwanted = std::any_of(wanted.begin(), wanted.end(), [&](const songinfo& s) { return s.id == busy; });
    if (busy && !stillwanted)
        cancel = true;
    if (std::get<0>(rendering)) {
        bool renderwanted = false;
        for (size_t i = 0; i < wanted.size(); i++)
            if (std::make_tuple(wanted[i].id, changes[i].key, changes[i].tempo) == rendering)
                renderwanted = true;
        if (!renderwanted)
            cancel = true;
    }
    news.notify_all();
}

renderedsong preparer::rendered(int64_t song, songchange c)
{
    renderedsong r;
    if (unchanged(c))
        return r;
    std::lock_guard<std::mutex> hold(lock);
    auto key = std::make_tuple(song, c.key, c.tempo);
    auto f = renders.find(key);
    if (f != renders.end())
        return f->second;
    r.now = renderedsong::WAITING;
    if (rendering == key) {
        r.now = renderedsong::RENDERING;
        r.done = renderdone;
    }
    return r;
}

preparedsong preparer::state(int64_t song)
{
    std::lock_guard<std::mutex> hold(lock);
    auto f = found.find(song);
    if (f != found.end())
        return f->second;
    preparedsong p;
    if (song == busy)
        p.now = preparedsong::PREPARING;
    return p;
}

void preparer::forget(int64_t song)
{
    std::lock_guard<std::mutex> hold(lock);
    found.erase(song);
    for (auto r = renders.begin(); r != renders.end();)
        r = std::get<0>(r->first) == song ? renders.erase(r) : std::next(r);
}

void preparer::work()
{
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        const songinfo* next = nullptr;
        size_t torender = SIZE_MAX;
        news.wait(hold, [&] {
            next = nullptr;
            torender = SIZE_MAX;
            for (const songinfo& s : wanted)
                if (!found.count(s.id)) {
                    next = &s;
                    break;
                }
            // Renders come after every folder: a folder takes a moment, a render a good part of a song.
            for (size_t i = 0; !next && torender == SIZE_MAX && i < wanted.size(); i++) {
                auto f = found.find(wanted[i].id);
                if (!unchanged(changes[i]) && f != found.end() && f->second.now == preparedsong::READY &&
                    !renders.count(std::make_tuple(wanted[i].id, changes[i].key, changes[i].tempo)))
                    torender = i;
            }
            return ending || next || torender != SIZE_MAX;
        });
        if (ending)
            return;
        if (!next) {
            auto key = std::make_tuple(wanted[torender].id, changes[torender].key, changes[torender].tempo);
            songchange c = changes[torender];
            std::string music = found[wanted[torender].id].folder + "/gnusong.mp3";
            rendering = key;
            renderdone = 0;
            cancel = false;
            hold.unlock();
            renderedsong r;
            bool made = false;
            std::string path, error;
            if (cachedrender(music, c, [this](double done) { renderdone = done; return !cancel; }, &path, &made,
                             &error)) {
                r.now = renderedsong::READY;
                r.path = path;
            } else {
                r.now = renderedsong::FAILED;
                r.reason = error;
            }
            hold.lock();
            rendering = std::make_tuple(int64_t(0), 0, 100);
            if (!(cancel && r.now == renderedsong::FAILED))
                renders[key] = r;
            continue;
        }
        songinfo s = *next;
        busy = s.id;
        cancel = false;
        hold.unlock();
        preparedsong p = preparenow(s, songs + "/" + std::to_string(s.id), &cancel);
        hold.lock();
        busy = 0;
        // A cancelled preparation is not a failure of the song: it is simply not done.
        if (!(cancel && p.now == preparedsong::FAILED))
            found[s.id] = p;
    }
}
