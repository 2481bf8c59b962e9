// Standard MIDI Files built byte by byte for the tests: big-endian numbers, variable-length deltas,
// meta events, tracks and the header.
#ifndef TRALUNE_SMFFILE_H
#define TRALUNE_SMFFILE_H

#include <cstdint>
#include <string>
#include <vector>

inline std::string big(uint32_t v, int n)
{
    std::string out;
    for (int k = n - 1; k >= 0; k--)
        out += char((v >> (8 * k)) & 0xFF);
    return out;
}

inline std::string vlq(uint32_t v)
{
    std::string out(1, char(v & 0x7F));
    while (v >>= 7)
        out.insert(out.begin(), char(0x80 | (v & 0x7F)));
    return out;
}

inline std::string meta(int type, const std::string& data)
{
    return std::string("\xFF") + char(type) + vlq(uint32_t(data.size())) + data;
}
inline std::string text(const std::string& t) { return meta(0x01, t); }
inline std::string lyric(const std::string& t) { return meta(0x05, t); }
inline std::string tempo(uint32_t us) { return meta(0x51, big(us, 3)); }

// One event and the ticks since the event before it.
struct ev {
    uint32_t delta;
    std::string bytes;
};

// A track chunk: the events, then the end of the track.
inline std::string mtrk(const std::vector<ev>& events)
{
    std::string body;
    for (const ev& e : events)
        body += vlq(e.delta) + e.bytes;
    body += vlq(0) + meta(0x2F, "");
    return "MTrk" + big(uint32_t(body.size()), 4) + body;
}

inline std::string smf(int format, int division, const std::vector<std::string>& tracks)
{
    std::string out = "MThd" + big(6, 4) + big(uint32_t(format), 2) + big(uint32_t(tracks.size()), 2) + big(uint32_t(division), 2);
    for (const std::string& t : tracks)
        out += t;
    return out;
}

#endif
