// CD+G packet streams built by hand for the tests and the bench, instruction by instruction.
#ifndef TRALUNE_CDGSTREAM_H
#define TRALUNE_CDGSTREAM_H

#include "cdg.h"

#include <array>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Packet;

// One packet: byte 0 the graphics mode (9), byte 1 the instruction, bytes 2-3 parity (0), bytes 4-19
// the data, bytes 20-23 parity (0).
inline Packet cdgpacket(int instruction, const std::vector<int>& data)
{
    Packet p(CDG_PACKET, 0);
    p[0] = 9;
    p[1] = (unsigned char)instruction;
    for (size_t i = 0; i < data.size() && i < 16; i++)
        p[4 + i] = (unsigned char)data[i];
    return p;
}
inline Packet cdgpreset(int colour, int repeat = 0) { return cdgpacket(1, {colour, repeat}); }
inline Packet cdgborder(int colour) { return cdgpacket(2, {colour}); }
// A tile at tile row and column: rows of 6 bits, 0x20 the leftmost pixel; a set bit takes colour1.
inline Packet cdgtile(int row, int column, int colour0, int colour1, const std::array<int, 12>& bits,
                      bool exclusive = false)
{
    std::vector<int> d = {colour0, colour1, row, column};
    d.insert(d.end(), bits.begin(), bits.end());
    return cdgpacket(exclusive ? 38 : 6, d);
}
// A tile of one colour.
inline Packet cdgsolid(int row, int column, int colour) { return cdgtile(row, column, colour, colour, {}); }
// h and v as the data bytes carry them: the command in bits 4-5, the fine offset below.
inline Packet cdgscroll(bool copy, int colour, int hcommand, int hoffset, int vcommand, int voffset)
{
    return cdgpacket(copy ? 24 : 20, {colour, hcommand << 4 | hoffset, vcommand << 4 | voffset});
}
// A load of colour-table half `first` (0 or 8) from eight 0x00RRGGBB colours, each component's top
// four bits taken.
inline Packet cdgcolours(int first, const std::array<unsigned, 8>& rgb)
{
    std::vector<int> d;
    for (unsigned c : rgb) {
        int r = (c >> 20) & 15, g = (c >> 12) & 15, b = (c >> 4) & 15;
        d.push_back(r << 2 | g >> 2);
        d.push_back((g & 3) << 4 | b);
    }
    return cdgpacket(first ? 31 : 30, d);
}
// A packet that does nothing: another mode, as the gaps between instructions of real streams are.
inline Packet cdgnothing()
{
    Packet p(CDG_PACKET, 0);
    return p;
}
// A dense stream, as the bench plays: a colour load, then a tile on every packet, walking over the
// screen in changing colours, `packets` packets in all.
inline std::vector<Packet> cdgdense(int packets)
{
    std::vector<Packet> s = {cdgcolours(0, {0x000000, 0xF00000, 0x00F000, 0x0000F0, 0xF0F000, 0xF000F0, 0x00F0F0,
                                            0xF0F0F0})};
    for (int n = 1; n < packets; n++)
        s.push_back(cdgtile(n / 50 % 18, n % 50, n % 8, (n + 3) % 8,
                            {0x3F, 0x21, 0x2D, 0x2D, 0x21, 0x3F, n & 63, 0, 63, 0, 63, 0}, n % 3 == 0));
    return s;
}
// The bytes of a stream, for a file.
inline std::string cdgbytes(const std::vector<Packet>& stream)
{
    std::string bytes;
    for (const Packet& p : stream)
        bytes.append(p.begin(), p.end());
    return bytes;
}

#endif
