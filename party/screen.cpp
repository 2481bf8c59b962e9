// The party's big screen between songs.
#include "screen.h"

#include "font.h"
#include "gfx.h"

#include <algorithm>
#include <cstring>

namespace {

// One character of text as the font draws it: its slot (-1 for a space or none), its width, and how
// many times (an ellipsis draws as three dots). Reads ch from p.
struct glyph {
    int slot = -1;
    int width = 0;
    int times = 1;
};

glyph glyphof(int ch)
{
    font* f = font::instance();
    glyph g;
    if (ch == ' ') {
        g.width = f->widths[0];
        return g;
    }
    int plain = font::lookalike(ch, g.times);
    // "%" has no slot: a mark in song scripts, it is left out here like any character the font lacks.
    g.slot = f->charindex(plain);
    if (g.slot >= 0)
        g.width = f->widths[g.slot];
    if (g.width <= 0)
        g.slot = -1, g.width = 0, g.times = 1;
    return g;
}

void drawglyph(int slot, int x, int y, int scale, pixel colour)
{
    font* f = font::instance();
    gfx* g = gfx::instance();
    for (int r = 1; r < f->height; r++) {
        const pixel* row = f->image.pixels + (long long)r * f->image.width + f->offsets[slot];
        for (int c = 0; c < f->widths[slot]; c++) {
            pixel p = row[c];
            if (p == f->keycolour)
                continue;
            for (int dy = 0; dy < scale; dy++) {
                long long py = (long long)y + (long long)r * scale + dy;
                if (py < 0 || py >= SCREEN_H)
                    continue;
                for (int dx = 0; dx < scale; dx++) {
                    long long px = (long long)x + (long long)c * scale + dx;
                    if (px >= 0 && px < SCREEN_W)
                        g->pixels[py * SCREEN_W + px] = colour ? colour : p;
                }
            }
        }
    }
}

} // namespace

long long textwidth(const std::string& text, int scale)
{
    long long total = 0;
    for (const char* p = text.c_str(); *p;) {
        glyph g = glyphof(font::nextchar(p));
        total += (long long)g.width * g.times * scale;
    }
    return total;
}

std::string fittext(const std::string& text, long long width, int scale)
{
    if (textwidth(text, scale) <= width)
        return text;
    long long dots = textwidth("...", scale);
    std::string kept;
    long long used = 0;
    for (const char* p = text.c_str(); *p;) {
        const char* from = p;
        glyph g = glyphof(font::nextchar(p));
        long long w = (long long)g.width * g.times * scale;
        if (used + w + dots > width)
            break;
        kept.append(from, size_t(p - from));
        used += w;
    }
    // A space before the dots only looks like a gap.
    while (!kept.empty() && kept.back() == ' ')
        kept.pop_back();
    std::string out = kept + "...";
    while (!out.empty() && textwidth(out, scale) > width)
        out.pop_back();
    return out;
}

long long drawtext(const std::string& text, int x, int y, int scale, pixel colour)
{
    long long at = x;
    for (const char* p = text.c_str(); *p;) {
        glyph g = glyphof(font::nextchar(p));
        for (int t = 0; t < g.times; t++) {
            long long w = (long long)g.width * scale;
            if (at + w > SCREEN_W)
                return at - x;
            if (g.slot >= 0 && at >= 0)
                drawglyph(g.slot, int(at), y, scale, colour);
            at += w;
        }
    }
    return at - x;
}

int drawcentred(const std::string& text, int y, int scale, pixel colour)
{
    std::string fits = fittext(text, SCREEN_W - 16, scale);
    int x = int((SCREEN_W - textwidth(fits, scale)) / 2);
    drawtext(fits, x, y, scale, colour);
    return x;
}

void fillrect(int x, int y, int w, int h, pixel colour)
{
    int x0 = std::max(x, 0), x1 = std::min(x + w, SCREEN_W);
    int y0 = std::max(y, 0), y1 = std::min(y + h, SCREEN_H);
    gfx* g = gfx::instance();
    for (int row = y0; row < y1; row++)
        std::fill(g->pixels + row * SCREEN_W + x0, g->pixels + row * SCREEN_W + std::max(x0, x1), colour);
}

int rowheight()
{
    // The font's row 0 is its marker row, never drawn.
    return std::max(8, font::instance()->height + 3);
}

int scrollto(int selected, int first, int count, int rows)
{
    if (count <= 0 || rows <= 0)
        return 0;
    selected = std::min(std::max(selected, 0), count - 1);
    if (selected < first)
        first = selected;
    if (selected >= first + rows)
        first = selected - rows + 1;
    // No empty rows at the end while there are rows above to show.
    first = std::min(first, std::max(0, count - rows));
    return std::max(first, 0);
}

namespace {

const int MARGIN = 12;
const pixel HEADING = HLCOL;

// The queue panel's rows: "Up next" and five songs.
const int QUEUE_ROWS = 5;

// Where the parts of the picker lie, from the font's row height.
struct layout {
    int h;            // a row
    int search;       // the search line's top
    int list;         // the first match's top
    int queue;        // the queue heading's top
    int bottom;       // the message line's top
};

layout pickerlayout(int top)
{
    layout l;
    l.h = rowheight();
    l.bottom = SCREEN_H - l.h - 4;
    l.queue = l.bottom - (QUEUE_ROWS + 1) * l.h - 8;
    l.search = top;
    l.list = top + l.h + 8;
    return l;
}

bool phonecolumn(const pickerview& v)
{
    return v.phonecode && v.phonecode->size > 0;
}

// Where the matches, the queue and the bottom line end on the right: before the phone page's column.
int rightedge(const pickerview& v)
{
    return SCREEN_W - MARGIN - (phonecolumn(v) ? PHONE_COLUMN : 0);
}

// The phone page's column from top to bottom: a heading, the QR code at a whole number of pixels a
// module with its white margin, as large as the column allows, and the address under it, split before
// its port when it is too wide for one line (the code carries it whole).
void drawphone(const pickerview& v, int top, int bottom, int h)
{
    if (!phonecolumn(v))
        return;
    int width = PHONE_COLUMN - 12;
    int x = SCREEN_W - MARGIN - width;
    std::string heading = fittext("Phones", width);
    drawtext(heading, x + int(width - textwidth(heading)) / 2, top, 1, HEADING);
    std::string address = v.phoneurl;
    // A browser takes an address without "http://"; "https://" has to be typed, so it stays.
    if (address.compare(0, 7, "http://") == 0)
        address.erase(0, 7);
    if (!address.empty() && address.back() == '/')
        address.pop_back();
    std::vector<std::string> lines = {address};
    size_t colon = address.rfind(':');
    if (textwidth(address) > width && colon != std::string::npos && colon > 0)
        lines = {address.substr(0, colon), address.substr(colon)};
    int box = std::min(width, bottom - top - h - 4 - int(lines.size()) * h);
    int side = drawqrcode(gfx::instance()->pixels, *v.phonecode, x + (width - std::max(0, box)) / 2, top + h + 4, box);
    int y = top + h + 4 + side + 2;
    for (const std::string& line : lines) {
        std::string shown = fittext(line, width);
        drawtext(shown, x + int(width - textwidth(shown)) / 2, y);
        y += h;
    }
}

std::string songline(const pickerrow& r)
{
    std::string s = r.title;
    if (!r.artist.empty())
        s += " - " + r.artist;
    return s;
}

// The search (or the name being typed) at y, with a cursor.
void drawsearch(const pickerview& v, int y, int h)
{
    fillrect(0, y - 2, SCREEN_W, h + 2, 0x00202C50);
    std::string label = v.naming ? "Singer: " : "Search: ";
    long long x = MARGIN + drawtext(label, MARGIN, y, 1, HEADING);
    std::string typed = v.naming ? v.name : v.search;
    std::string after = v.naming ? "  (Enter queues \"" + v.naminghint + "\", Escape goes back)" : "";
    long long room = SCREEN_W - MARGIN - x - textwidth("_");
    std::string shown = fittext(typed, room);
    // When it is too long, the end of what is typed matters most: it is where typing goes on.
    if (shown != typed) {
        shown = typed;
        while (!shown.empty() && textwidth(shown) > room) {
            const char* p = shown.c_str();
            font::nextchar(p);
            shown.erase(0, size_t(p - shown.c_str()));
        }
    }
    x += drawtext(shown + "_", int(x), y);
    if (!after.empty())
        drawtext(fittext(after, SCREEN_W - MARGIN - x), int(x), y, 1, DIMMED);
}

void drawlist(const pickerview& v, int y, int rows, int h)
{
    if (v.rows.empty()) {
        drawtext(v.search.empty() ? "No songs in the library yet." : "No song matches.", MARGIN, y, 1, DIMMED);
        return;
    }
    int right = rightedge(v);
    int kindcolumn = right - int(textwidth("UltraStar")) - 8;
    for (int i = 0; i < rows && i < int(v.rows.size()); i++) {
        const pickerrow& r = v.rows[size_t(i)];
        int top = y + i * h;
        if (i == v.selected)
            fillrect(0, top - 2, right + MARGIN, h, SELECTED);
        pixel ink = r.failed ? DIMMED : 0;
        std::string line = songline(r);
        if (r.failed)
            line += " (" + r.reason + ")";
        drawtext(fittext(line, kindcolumn - MARGIN - 8), MARGIN, top, 1, ink);
        drawtext(fittext(r.kind, right - kindcolumn), kindcolumn, top, 1, DIMMED);
    }
}

void drawqueue(const pickerview& v, int y, int h, int rows, const char* empty)
{
    int right = rightedge(v);
    drawtext(fittext(v.queue.empty() ? empty : "Next:", right - MARGIN), MARGIN, y, 1, HEADING);
    int singercolumn = (right + MARGIN) * 2 / 3;
    for (int i = 0; i < rows && i < int(v.queue.size()); i++) {
        const queuerow& q = v.queue[size_t(i)];
        int top = y + (i + 1) * h;
        std::string n = std::to_string(i + 1) + ". ";
        long long x = MARGIN + drawtext(n, MARGIN, top, 1, DIMMED);
        std::string song = q.title + (q.artist.empty() ? "" : " - " + q.artist);
        drawtext(fittext(song, singercolumn - x - 8), int(x), top);
        drawtext(fittext(q.singer, right - singercolumn), singercolumn, top, 1, HEADING);
    }
}

void drawbottom(const pickerview& v, int y)
{
    std::string line = v.message;
    pixel ink = HEADING;
    if (line.empty()) {
        line = v.naming ? "Type the singer's name, then Enter. F5/F6: key, F7/F8: tempo. Escape: back."
                        : "Type to search. Enter: queue. F5-F8: key, tempo. Escape: clear. Ctrl+Q: quit.";
        ink = DIMMED;
    }
    drawtext(fittext(line, rightedge(v) - MARGIN), MARGIN, y, 1, ink);
}

} // namespace

int pickerrows()
{
    layout l = pickerlayout(MARGIN + rowheight() + 6);
    return std::max(1, (l.queue - 8 - l.list) / l.h);
}

void drawpicker(const pickerview& v)
{
    gfx::instance()->clearscreen(BACKGROUND >> 16 & 0xFF, BACKGROUND >> 8 & 0xFF, BACKGROUND & 0xFF);
    int h = rowheight();
    drawtext("tralune party", MARGIN, MARGIN, 1, HEADING);
    std::string status = fittext(v.status, SCREEN_W / 2);
    drawtext(status, int(SCREEN_W - MARGIN - textwidth(status)), MARGIN, 1, DIMMED);
    layout l = pickerlayout(MARGIN + h + 6);
    drawsearch(v, l.search, h);
    drawlist(v, l.list, pickerrows(), h);
    drawqueue(v, l.queue, h, QUEUE_ROWS, "The queue is empty: choose a song, press Enter.");
    drawbottom(v, l.bottom);
    drawphone(v, l.list, SCREEN_H - 4, h);
}

// The up-next screen's own part: the upper half.
static int upnextheight()
{
    int h = rowheight();
    return 8 + h + 4 + 2 * h + h + 3 * h + 2 * h + 12;
}

int upnextpickerrows()
{
    int h = rowheight();
    int top = upnextheight() + h + 8;
    int queue = SCREEN_H - h - 4 - (QUEUE_ROWS + 1) * h - 8;
    return std::max(0, (queue - 8 - top) / h);
}

void drawupnext(const upnextview& u, const pickerview& v)
{
    gfx::instance()->clearscreen(BACKGROUND >> 16 & 0xFF, BACKGROUND >> 8 & 0xFF, BACKGROUND & 0xFF);
    int h = rowheight();
    int y = 8;
    drawcentred("Up next", y, 1, DIMMED);
    y += h + 4;
    drawcentred(u.title, y, 2);
    y += 2 * h;
    if (!u.artist.empty())
        drawcentred(u.artist, y, 1, DIMMED);
    y += h;
    // The singer's name matters most from across the room: as large as it fits.
    int scale = 3;
    while (scale > 1 && textwidth(u.singer, scale) > SCREEN_W - 16)
        scale--;
    drawcentred(u.singer, y + (3 - scale) * h / 2, scale, HEADING);
    y += 3 * h;
    drawcentred(u.seconds > 0 ? std::to_string(u.seconds) : u.note.empty() ? "Now!" : "", y, 2);
    if (!u.note.empty())
        drawcentred(u.note, y + 2 * h - h, 1, DIMMED);
    int top = upnextheight();
    fillrect(0, top - 4, SCREEN_W, 1, DIMMED);
    drawsearch(v, top + 4, h);
    int rows = upnextpickerrows();
    if (rows > 0)
        drawlist(v, top + 4 + h + 8, rows, h);
    int queue = SCREEN_H - h - 4 - (QUEUE_ROWS + 1) * h - 8;
    drawqueue(v, queue, h, QUEUE_ROWS, "Nothing queued after this song yet.");
    drawbottom(v, SCREEN_H - h - 4);
    drawphone(v, top + 4 + h + 8, SCREEN_H - 4, h);
}
