// A song folder's files, written all or nothing.
#include "songfolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string quotedpath(const std::string& path)
{
    std::string q = "\"";
    for (char c : path)
        q += (unsigned char)c < 0x20 || c == 0x7F ? '?' : c;
    return q + "\"";
}

// Writes bytes to a new file at temp with the mode a plain create gives. 0 or the errno of the failure.
int writenew(const std::string& temp, const std::string& bytes)
{
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int e = n < 0 ? errno : EIO;
            close(fd);
            return e;
        }
        done += size_t(n);
    }
    return close(fd) == 0 ? 0 : errno;
}

} // namespace

songfolder::~songfolder()
{
    cleanup();
}

void songfolder::cleanup()
{
    for (const std::string& t : temps)
        unlink(t.c_str());
    temps.clear();
}

std::string songfolder::tempfor(const std::string& path)
{
    // mkstemp makes the name unique among every writer of the folder, other threads included; the file
    // it opens is replaced by whatever the caller makes there.
    std::string name = path + ".tmpXXXXXX";
    int fd = mkstemp(&name[0]);
    if (fd < 0)
        return path + ".tmp" + std::to_string(getpid());
    close(fd);
    temps.push_back(name);
    return name;
}

void songfolder::put(const std::string& path, std::string bytes, const std::string& what, bool optional)
{
    entries.push_back({path, what, entry::BYTES, std::move(bytes), "", optional});
}

void songfolder::link(const std::string& path, const std::string& target, const std::string& what)
{
    entries.push_back({path, what, entry::LINK, target, "", false});
}

void songfolder::adopt(const std::string& path, const std::string& temp, const std::string& what)
{
    entries.push_back({path, what, entry::ADOPT, "", temp, false});
}

std::string songfolder::commit(const std::atomic<bool>* cancel, const std::function<void(int)>& step)
{
    int n = 0;
    auto next = [&]() {
        if (step)
            step(n);
        n++;
        return !(cancel && cancel->load());
    };
    auto fail = [&](const std::string& why) {
        cleanup();
        return why;
    };
    dropped.clear();
    // Every check first: nothing is written for a plan that cannot be carried out.
    for (const entry& e : entries) {
        struct stat st;
        if (e.kind == entry::LINK && lstat(e.path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            return fail(quotedpath(e.path) + " is there and is no symbolic link: not replaced (move it away to link " +
                        e.what + ")");
        if (lstat(e.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return fail(quotedpath(e.path) + " is a folder: " + e.what + " cannot be written there");
    }
    std::vector<entry*> ready;
    for (entry& e : entries) {
        if (!next())
            return fail("interrupted");
        if (e.kind == entry::ADOPT) {
            ready.push_back(&e);
            continue;
        }
        e.temp = tempfor(e.path);
        unlink(e.temp.c_str());
        int err = 0;
        if (e.kind == entry::BYTES)
            err = writenew(e.temp, e.bytes);
        else if (symlink(e.bytes.c_str(), e.temp.c_str()) != 0)
            err = errno;
        if (err == 0) {
            ready.push_back(&e);
            continue;
        }
        unlink(e.temp.c_str());
        std::string why = e.kind == entry::LINK ? "cannot link " + quotedpath(e.path) + " to " + e.what + ": " + strerror(err)
                                                : "cannot write " + quotedpath(e.path) + ": " + strerror(err);
        if (!e.optional)
            return fail(why);
        dropped.push_back(why);
    }
    if (!next())
        return fail("interrupted");
    // The renames, in the order planned; each replaces its file whole. No interruption is taken from
    // here on: they are quick, and stopping half way would leave a folder of old and new.
    for (entry* e : ready) {
        if (rename(e->temp.c_str(), e->path.c_str()) != 0) {
            int err = errno;
            return fail("cannot write " + quotedpath(e->path) + ": " + strerror(err));
        }
        for (size_t k = 0; k < temps.size(); k++)
            if (temps[k] == e->temp) {
                temps.erase(temps.begin() + long(k));
                break;
            }
    }
    entries.clear();
    return "";
}
