// The queue's fair order and its wait estimates: pure functions over rows, so the rules are tested
// without a database.
#include "store.h"

#include <algorithm>
#include <map>

namespace {

// Singers are the same whatever the case of their name's letters or the spaces around it: a guest
// who types "anna" on a phone and the host who types "Anna" at the keyboard share one turn.
std::string singerkey(const std::string& name)
{
    size_t a = 0, b = name.size();
    while (a < b && name[a] == ' ')
        a++;
    while (b > a && name[b - 1] == ' ')
        b--;
    std::string key = name.substr(a, b - a);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return key;
}

} // namespace

std::vector<int64_t> fairorder(const std::vector<fairrow>& waiting, const std::vector<singerturn>& turns)
{
    std::map<std::string, int64_t> lastturn;
    for (const singerturn& t : turns) {
        auto it = lastturn.find(singerkey(t.singer));
        if (it == lastturn.end())
            lastturn[singerkey(t.singer)] = t.turn;
        else
            it->second = std::max(it->second, t.turn);
    }

    // Each singer's own songs in the order they were queued.
    std::vector<const fairrow*> free, held;
    for (const fairrow& r : waiting)
        (r.held >= 0 ? held : free).push_back(&r);
    auto byseq = [](const fairrow* a, const fairrow* b) { return a->seq != b->seq ? a->seq < b->seq : a->entry < b->entry; };
    std::stable_sort(free.begin(), free.end(), byseq);
    struct singer {
        std::vector<const fairrow*> songs;
        bool sung = false;
        int64_t rank = 0;   // the last turn when sung, else the first song's seq
        size_t next = 0;
    };
    std::map<std::string, singer> singers;
    std::vector<std::string> names;
    for (const fairrow* r : free) {
        std::string k = singerkey(r->singer);
        auto it = singers.find(k);
        if (it == singers.end()) {
            singer s;
            auto t = lastturn.find(k);
            s.sung = t != lastturn.end();
            s.rank = s.sung ? t->second : r->seq;
            it = singers.emplace(k, s).first;
            names.push_back(k);
        }
        it->second.songs.push_back(r);
    }
    // Who has not sung yet comes first, in the order of their first song; then the longest ago.
    std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const singer& x = singers[a];
        const singer& y = singers[b];
        if (x.sung != y.sung)
            return !x.sung;
        return x.rank < y.rank;
    });
    std::vector<const fairrow*> rounds;
    for (bool more = true; more;) {
        more = false;
        for (const std::string& n : names) {
            singer& s = singers[n];
            if (s.next < s.songs.size()) {
                rounds.push_back(s.songs[s.next++]);
                more = true;
            }
        }
    }

    // The songs the host placed stand where they were put; the fair turns fill the places around them.
    std::stable_sort(held.begin(), held.end(), [&](const fairrow* a, const fairrow* b) {
        return a->held != b->held ? a->held < b->held : byseq(a, b);
    });
    std::vector<int64_t> order;
    order.reserve(waiting.size());
    size_t f = 0, h = 0;
    while (f < rounds.size() || h < held.size()) {
        int64_t place = int64_t(order.size());
        if (h < held.size() && (f == rounds.size() || held[h]->held <= place))
            order.push_back(held[h++]->entry);
        else
            order.push_back(rounds[f++]->entry);
    }
    return order;
}

void estimatewaits(std::vector<queueentry>& list, double elapsed)
{
    double wait = 0;
    for (size_t i = 0; i < list.size(); i++) {
        queueentry& e = list[i];
        e.wait = int(wait + 0.5);
        double length = e.seconds > 0 ? e.seconds : DEFAULT_SONG_SECONDS;
        if (i == 0 && e.state == entrystate::playing)
            // A song played past its known length (a pause, a wrong length) is about to end.
            length = std::max(0.0, length - std::max(0.0, elapsed));
        wait += length;
    }
}
