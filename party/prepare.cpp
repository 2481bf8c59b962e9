// Songs made ready to sing in the background.
#include "prepare.h"

#include "importsong.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

void preparer::want(const std::vector<songinfo>& list)
{
    std::lock_guard<std::mutex> hold(lock);
    wanted = list;
    bool stillwanted = std::any_of(wanted.begin(), wanted.end(), [&](const songinfo& s) { return s.id == busy; });
    if (busy && !stillwanted)
        cancel = true;
    news.notify_all();
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
}

void preparer::work()
{
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        const songinfo* next = nullptr;
        news.wait(hold, [&] {
            next = nullptr;
            for (const songinfo& s : wanted)
                if (!found.count(s.id)) {
                    next = &s;
                    break;
                }
            return ending || next;
        });
        if (ending)
            return;
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
