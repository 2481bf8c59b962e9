// The party's stored state: not yet filled in; every call fails with a reason until it is.
#include "store.h"

namespace {
thread_local std::string lasterror;
bool failnow()
{
    lasterror = "not built yet";
    return false;
}
}

struct partystore::impl {
};

std::string defaultdatafolder() { return ""; }
std::string defaultcachefolder() { return ""; }
const char* kindname(songkind) { return ""; }
const char* kindlabel(songkind) { return ""; }
void splitsongname(const std::string& stem, nameorder, std::string& artist, std::string& title)
{
    artist.clear();
    title = stem;
}
std::string ftsquery(const std::string&) { return ""; }
std::vector<int64_t> fairorder(const std::vector<fairrow>&, const std::vector<singerturn>&) { return {}; }
void estimatewaits(std::vector<queueentry>&, double) {}

std::unique_ptr<partystore> partystore::open(const std::string&, std::string& error)
{
    error = "not built yet";
    return nullptr;
}
partystore::~partystore() = default;
const std::string& partystore::error() const { return lasterror; }
bool partystore::addfolder(const std::string&) { return failnow(); }
bool partystore::removefolder(const std::string&) { return failnow(); }
std::vector<std::string> partystore::folders() { return {}; }
bool partystore::scan(const std::vector<std::string>&, nameorder, const std::function<void(const scanprogress&)>&,
                      scanprogress*) { return failnow(); }
std::vector<songinfo> partystore::search(const std::string&, int, int) { return {}; }
int64_t partystore::countsongs(const std::string&) { return 0; }
bool partystore::song(int64_t, songinfo&) { return failnow(); }
bool partystore::markfailed(int64_t, const std::string&) { return failnow(); }
bool partystore::clearfailed(int64_t) { return failnow(); }
bool partystore::setseconds(int64_t, int) { return failnow(); }
int64_t partystore::enqueue(int64_t, const std::string&, const std::string&, int, int) { return failnow(); }
bool partystore::remove(int64_t) { return failnow(); }
bool partystore::move(int64_t, int) { return failnow(); }
int partystore::clear() { return failnow(); }
bool partystore::change(int64_t, int, int) { return failnow(); }
std::vector<queueentry> partystore::queue() { return {}; }
bool partystore::entry(int64_t, queueentry&) { return failnow(); }
int partystore::guestcount(const std::string&) { return 0; }
bool partystore::takenext(queueentry&) { return failnow(); }
bool partystore::startplaying(int64_t) { return failnow(); }
bool partystore::finish(int64_t, const std::string&) { return failnow(); }
bool partystore::fail(int64_t, const std::string&) { return failnow(); }
std::vector<queueentry> partystore::history(int) { return {}; }
std::string partystore::setting(const std::string&, const std::string& fallback) { return fallback; }
bool partystore::setsetting(const std::string&, const std::string&) { return failnow(); }
int64_t partystore::queueversion() { return 0; }
