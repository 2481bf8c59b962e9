// The files of a song folder written all or nothing: each file of the folder is always either the old
// one or the whole new one, and a failure or an interruption leaves no temporary file behind.
#ifndef TRALUNE_SONGFOLDER_H
#define TRALUNE_SONGFOLDER_H

#include <atomic>
#include <functional>
#include <string>
#include <vector>

class songfolder {
public:
    songfolder() = default;
    // Removes every temporary file still held: a plan dropped before its commit leaves nothing.
    ~songfolder();
    songfolder(const songfolder&) = delete;
    songfolder& operator=(const songfolder&) = delete;

    // Plans path to hold bytes. what names the file in a message ("the script"); optional files (the
    // font) that cannot be written are dropped with a warning in the result instead of failing.
    void put(const std::string& path, std::string bytes, const std::string& what, bool optional = false);
    // Plans path to be a symbolic link holding target. An existing path that is no symbolic link is
    // the user's and is never replaced: commit refuses it, naming what ("the song").
    void link(const std::string& path, const std::string& target, const std::string& what);
    // Plans path to be the file now at temp, which the caller made beside path (a rendered song, an
    // unpacked stream) and hands over: it is renamed into place, or removed on failure.
    void adopt(const std::string& path, const std::string& temp, const std::string& what);
    // A temporary name beside path, unique to this plan, for a file the caller makes and then adopts;
    // removed with the plan when not adopted.
    std::string tempfor(const std::string& path);

    // Whether a file is planned at path.
    bool planned(const std::string& path) const
    {
        for (const entry& e : entries)
            if (e.path == path)
                return true;
        return false;
    }

    // Writes every planned file: checks first (links replace only links), then writes each through a
    // temporary name beside its place, then renames them into place in the order planned, so that the
    // last planned (the script) comes last. When *cancel turns true before the renames, or anything
    // fails, every temporary file is removed and no file has changed. step, where given, is called
    // before each step with its number from 0, for tests that interrupt at each one. "" on success,
    // else one line a user understands: "cannot write \"PATH\": reason" and the like.
    std::string commit(const std::atomic<bool>* cancel = nullptr, const std::function<void(int)>& step = {});
    // Warnings of optional files dropped by the last commit.
    const std::vector<std::string>& warnings() const { return dropped; }

private:
    struct entry {
        std::string path, what;
        enum { BYTES, LINK, ADOPT } kind;
        std::string bytes;   // BYTES: the content; LINK: the target
        std::string temp;    // where it is made before the rename
        bool optional = false;
    };
    void cleanup();
    std::vector<entry> entries;
    std::vector<std::string> temps;   // every temporary name given out and not yet renamed
    std::vector<std::string> dropped;
};

#endif
