// The script reader and the command handlers.
#include "script.h"
#include "cdg.h"
#include "font.h"
#include "gfx.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

int script::readscript(const char* path)
{
    scriptfile in(path);
    if (!in.isopen())
        return fail(NOFILE);
    line = 1;
    if (clock.start() == 0)
        clock.startat(monotonicns() + SONG_DELAY_NS);
    gfx* g = gfx::instance();
    char text[100];
    while (in.next(text)) {
        int result = parseline(text);
        if (result == OK)
            result = runcommand();
        if (result != OK)
            return fail(result);
        line++;
        g->update();
        if (stopped && stopped())
            return STOPPED;
    }
    return 0;
}

int script::fail(int result)
{
    std::ostringstream why;
    switch (result) {
    case NOFILE:
        why << "The file was not opened";
        break;
    case NOCMD:
        why << "Error parsing cmd at line: " << line;
        break;
    case NOARGS:
        why << "Error parsing arguments at line: " << line;
        break;
    case UNKNOWNCMD:
        why << "Unknown command at line: " << line << " exiting now...";
        break;
    case BADTIME:
        why << "Error parsing time at line: " << line;
        break;
    case BADROW:
        why << "Error parsing row at line: " << line;
        break;
    }
    message = why.str();
    if (stopped)
        return result;
    // The line is flushed, except the missing file's, which tralune has always left to the exit.
    if (result == NOFILE)
        std::cout << message << "\n";
    else
        std::cout << message << std::endl;
    exit(1);
}

int script::runcommand()
{
    if (!cmd[0])
        return OK;
    switch (findcommand()) {
    case TEXT:
        printtext();
        break;
    case SETIMG:
        setimg(args);
        break;
    case HOP:
        hop();
        break;
    case BOUNCE:
        bounce();
        break;
    case SLEEP: {
        // A negative count would be taken as a huge unsigned one and hang the run.
        int seconds = readnumber(args);
        if (seconds > 0 && stopped)
            gfx::instance()->waituntil(monotonicns() + seconds * 1000000000LL);
        else if (seconds > 0)
            sleep(unsigned(seconds));
        break;
    }
    case USLEEP: {
        int micros = readnumber(args);
        if (micros > 0 && stopped)
            gfx::instance()->waituntil(monotonicns() + micros * 1000LL);
        else if (micros > 0)
            usleep(useconds_t(micros));
        break;
    }
    case CLEARSCREEN:
        clearscreen();
        break;
    case AT:
        if (at() != 0)
            return BADTIME;
        break;
    case CDG:
        cdg(args);
        break;
    case TEXTROW:
        if (printtextrow() != 0)
            return BADROW;
        break;
    default:
        return UNKNOWNCMD;
    }
    return OK;
}

int script::printtext()
{
    font* f = font::instance();
    f->write(args, -1, 480 - f->height);
    return 0;
}

int script::printtextrow()
{
    font* f = font::instance();
    int row;
    const char* text;
    if (readtextrow(args, f->height, &row, &text) != 0)
        return 1;
    f->write(text, -1, 480 - (row + 1) * f->height);
    return 0;
}

int script::setimg(const char* path)
{
    return gfx::instance()->drawPCX(path, 0);
}

int script::hop()
{
    std::cout << "Now i hop\n";
    return 0;
}

int script::bounce()
{
    std::cout << "now i bounce\n";
    return 0;
}

int script::clearscreen()
{
    // The scans for the commas stop at the end of the argument, and a component with no comma before
    // it is 0.
    int rgb[3];
    for (int k = 0; k < 3; k++) {
        const char* from = component(k);
        rgb[k] = from ? readnumber(from) : 0;
    }
    gfx::instance()->clearscreen(rgb[0], rgb[1], rgb[2]);
    return 0;
}

int script::at()
{
    long long ms;
    if (readsongtime(args, &ms) != 0)
        return 1;
    waitsong(ms * 1000000);
    return 0;
}

void script::waitsong(long long song)
{
    gfx* g = gfx::instance();
    for (;;) {
        long long now = monotonicns(), when = clock.momentof(song);
        // The party leaves a song within the display's wait; the script reader then sees the stop.
        if (when <= now || (stopped && stopped()))
            return;
        // In slices, so that a pause or a new offset set meanwhile is seen; the last slice ends on the
        // moment itself, so a running clock is met exactly.
        g->waituntil(std::min(when, now + SONGCLOCK_RECHECK_NS));
    }
}

int script::cdg(const char* path)
{
    std::vector<unsigned char> packets;
    if (loadcdg(path, packets) != 0)
        return 1;
    size_t count = packets.size() / CDG_PACKET, next = 0;
    if (count == 0)
        return 0;
    gfx* g = gfx::instance();
    std::unique_ptr<cdgscreen> screen(new cdgscreen());
    auto due = [](size_t n) { return (long long)n * 1000000000 / CDG_RATE; };
    // The first picture is shown at once, whatever the packets already due hold.
    bool changed = true;
    long long shownat = std::numeric_limits<long long>::min() / 2;
    for (;;) {
        long long now = monotonicns(), song = clock.songtime(now);
        while (next < count && due(next) <= song)
            changed |= screen->apply(&packets[next++ * CDG_PACKET]);
        if (changed && now >= shownat + CDG_FRAME_NS) {
            screen->draw(g->pixels);
            // Not update(): its event check ignores an Escape already let go, and with refreshes this
            // frequent most presses would reach it rather than the wait.
            g->show();
            shownat = now;
            changed = false;
        }
        if ((next == count && !changed) || (stopped && stopped()))
            return 0;
        // A change waits for the next frame; with none pending, nothing can be shown before both the
        // next packet is due and a frame has passed, so the wait covers both and packets due meanwhile
        // are applied together.
        g->waituntil(shownat + CDG_FRAME_NS);
        if (!changed)
            waitsong(due(next));
    }
}
