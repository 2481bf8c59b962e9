// The party's big screen between songs, drawn into the frame buffer with the bitmap font at 640x480:
// the picker (search, matches, the queue), the up-next screen, and one line of news.
#ifndef TRALUNE_PARTYSCREEN_H
#define TRALUNE_PARTYSCREEN_H

#include "qrcode.h"
#include "tralune.h"

#include <string>
#include <vector>

// Text from file names, tags and singers is drawn as it is: nothing in it is a mark (no "%"
// highlight), and characters the font lacks are left out.

// How wide text is drawn at scale (1 = the font's own size), as drawtext draws it.
long long textwidth(const std::string& text, int scale = 1);
// The text as it fits in width columns at scale: whole when it fits, else cut after a whole character
// with "..." added (as much of "..." as fits when not even one character does).
std::string fittext(const std::string& text, long long width, int scale = 1);
// Draws text with the top-left corner of its glyph cells at (x, y), each font pixel as a scale x scale
// block, in colour (0 for the font's own ink). Glyphs that would cross the right edge of the screen
// are not drawn, nor rows outside it. The width drawn.
long long drawtext(const std::string& text, int x, int y, int scale = 1, pixel colour = 0);
// Draws text centred across the screen (cut to fit it); the x it starts at.
int drawcentred(const std::string& text, int y, int scale = 1, pixel colour = 0);
// Fills the rectangle (clipped to the screen) with one colour.
void fillrect(int x, int y, int w, int h, pixel colour);

// The height of a row of text: the font's glyph rows and a small gap; never below 8.
int rowheight();

// The first row to show of a list of count rows of which rows fit, so that selected stays in view
// with the least scrolling from first, the row shown first until now. 0 for an empty list.
int scrollto(int selected, int first, int count, int rows);

// A song in the picker's list.
struct pickerrow {
    std::string title, artist, kind;
    bool failed = false;        // marked as not playable: shown dimmed, with its reason
    std::string reason;
};

// A song of the queue as the screen lists it.
struct queuerow {
    std::string title, artist, singer;
};

// Everything the picker shows.
struct pickerview {
    std::string search;             // what was typed
    bool naming = false;            // typing the singer's name for the chosen song
    std::string naminghint;         // then: the chosen song's title
    std::string name;               // then: the name typed so far
    std::vector<pickerrow> rows;    // the matches shown, from the first in view
    int selected = -1;              // which of rows is chosen, -1 for none
    long long matches = 0;          // how many songs match in all
    std::vector<queuerow> queue;    // the next songs, at most five shown
    std::string status;             // top right: the library's size, a scan's progress
    std::string message;            // the line at the bottom: news (a song that cannot be played), or
                                    // how to add songs; "" for the keys' help
    // The phone page: its address as text and as a QR code, drawn in a column on the right of the
    // matches and the queue; no column when phonecode is null or empty.
    std::string phoneurl;
    const qrcode* phonecode = nullptr;
};

// The width the phone page's column takes from the right of the picker, its gap included.
const int PHONE_COLUMN = 192;

// The rows of matches the full picker has room for.
int pickerrows();
// The rows of matches the picker under the up-next screen has room for.
int upnextpickerrows();

// Draws the whole picker screen.
void drawpicker(const pickerview& v);

// What the up-next screen shows above a smaller picker.
struct upnextview {
    std::string title, artist, singer;
    int seconds = 0;            // the countdown
    std::string note;           // a line under it, such as how far the song's preparation is
};

// Draws the up-next screen: the song and its singer large, the countdown, and under them the search
// line, a few matches and the queue, so that typing goes on.
void drawupnext(const upnextview& u, const pickerview& v);

// The colours of the screens, for tests that look for them.
const pixel BACKGROUND = 0x00101830;
const pixel SELECTED = 0x00304C8C;
const pixel DIMMED = 0x00909098;

#endif
