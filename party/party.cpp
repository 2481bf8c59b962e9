// The running party.
#include "party.h"

#include "font.h"
#include "fontmaker.h"
#include "gfx.h"
#include "songplayer.h"
#include "video.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>

party* party::running = nullptr;

namespace {

long long nowms()
{
    return monotonicns() / 1000000;
}

std::string quotedtitle(const std::string& title)
{
    return "\"" + title + "\"";
}

// The change a key of the picker asks for: semitones of key and steps of tempo; false for other keys.
bool changekey(int key, int& keyby, int& tempoby)
{
    keyby = key == VK_F5 ? -1 : key == VK_F6 ? 1 : 0;
    tempoby = key == VK_F7 ? -1 : key == VK_F8 ? 1 : 0;
    return keyby || tempoby;
}

} // namespace

// The picker ---------------------------------------------------------------------------------------

picker::outcome picker::key(const videokey& k)
{
    outcome out;
    if (k.key == VK_QUIT) {
        out.quit = true;
        return out;
    }
    int keyby, tempoby;
    if (namingsong && changekey(k.key, keyby, tempoby)) {
        namingkey = stepkey(namingkey, keyby);
        namingtempo = steptempo(namingtempo, tempoby);
        return out;
    }
    if (changekey(k.key, keyby, tempoby)) {
        changesong(keyby, tempoby, out);
        return out;
    }
    if (namingsong) {
        // The last name given is offered as a whole: the first character typed replaces it, and
        // Backspace takes it away, so that the next singer's name needs no deleting first.
        bool offer = offered;
        offered = false;
        switch (k.key) {
        case VK_CHAR:
            if (offer)
                name.clear();
            name.type(k.ch);
            break;
        case VK_BACKSPACE:
            if (offer)
                name.clear();
            else
                name.backspace();
            break;
        case VK_ESCAPE:
            namingsong = 0;
            break;
        case VK_ENTER: {
            std::string singer = tidyspaces(name.text());
            if (singer.empty()) {
                out.news = "Type the singer's name first.";
                break;
            }
            out.queued = store.enqueue(namingsong, singer, "", namingkey, namingtempo);
            if (!out.queued) {
                out.news = "Could not queue " + quotedtitle(namingtitle) + ".";
            } else {
                store.setsetting("singer", singer);
                lastqueued = out.queued;
                out.news = "Queued " + quotedtitle(namingtitle) + " for " + singer + ".";
                // The next singer starts a search of their own.
                typed.clear();
                refresh();
            }
            namingsong = 0;
            break;
        }
        default:
            break;
        }
        return out;
    }
    switch (k.key) {
    case VK_CHAR:
        if (typed.type(k.ch)) {
            choice = first = 0;
            refresh();
        }
        break;
    case VK_BACKSPACE:
        if (typed.backspace()) {
            choice = first = 0;
            refresh();
        }
        break;
    case VK_ESCAPE:
        if (typed.clear()) {
            choice = first = 0;
            refresh();
        }
        break;
    case VK_UP:
        move(-1);
        break;
    case VK_DOWN:
        move(1);
        break;
    case VK_PAGEUP:
        move(-std::max(1, lastrows - 1));
        break;
    case VK_PAGEDOWN:
        move(std::max(1, lastrows - 1));
        break;
    case VK_HOME:
        move(INT_MIN / 2);
        break;
    case VK_END:
        move(INT_MAX / 2);
        break;
    case VK_ENTER:
        if (choice >= 0 && choice < int(found.size())) {
            const songinfo& s = found[size_t(choice)];
            if (s.failed) {
                out.news = quotedtitle(s.title) + " cannot be played: " + s.reason;
                break;
            }
            namingsong = s.id;
            namingtitle = s.title;
            namingkey = 0;
            namingtempo = 100;
            name.set(store.setting("singer"));
            offered = !name.empty();
        }
        break;
    default:
        break;
    }
    return out;
}

void picker::changesong(int keyby, int tempoby, outcome& out)
{
    queueentry e;
    if (!lastqueued || !store.entry(lastqueued, e) ||
        (e.state != entrystate::waiting && e.state != entrystate::upnext)) {
        out.news = "F5/F6 (key) and F7/F8 (tempo) change the song being queued or the one last queued.";
        return;
    }
    int key = stepkey(e.key, keyby), tempo = steptempo(e.tempo, tempoby);
    if (key == e.key && tempo == e.tempo) {
        out.news = quotedtitle(e.title) + " is at the limit: key " + std::to_string(KEY_MIN) + " to +" +
                   std::to_string(KEY_MAX) + ", tempo " + std::to_string(TEMPO_MIN) + "% to " +
                   std::to_string(TEMPO_MAX) + "%.";
        return;
    }
    if (!store.change(e.entry, key, tempo)) {
        out.news = "Could not change " + quotedtitle(e.title) + ".";
        return;
    }
    out.changed = true;
    std::string label = changelabel(key, tempo);
    out.news = quotedtitle(e.title) + ": " + (label.empty() ? "the original key and tempo" : label) + ".";
}

void picker::move(int by)
{
    if (found.empty())
        return;
    long long to = (long long)choice + by;
    choice = int(std::min<long long>(std::max<long long>(to, 0), (long long)found.size() - 1));
}

void picker::refresh()
{
    int64_t chosen = choice < int(found.size()) ? found[size_t(choice)].id : 0;
    found = store.search(typed.text(), PICKER_LIMIT);
    matches = store.countsongs(typed.text());
    // The song chosen stays chosen as the list grows under it.
    choice = 0;
    for (size_t i = 0; i < found.size(); i++)
        if (found[i].id == chosen)
            choice = int(i);
}

void picker::fill(pickerview& v, int rows)
{
    lastrows = std::max(1, rows);
    first = scrollto(choice, first, int(found.size()), rows);
    v.search = typed.text();
    v.naming = namingsong != 0;
    std::string change = changelabel(namingkey, namingtempo);
    v.naminghint = change.empty() ? namingtitle : namingtitle + " (" + change + ")";
    v.name = name.text();
    v.rows.clear();
    for (int i = first; i < first + rows && i < int(found.size()); i++) {
        const songinfo& s = found[size_t(i)];
        pickerrow r;
        r.title = s.title;
        r.artist = s.artist;
        r.kind = kindlabel(s.kind);
        r.failed = s.failed;
        r.reason = s.reason;
        v.rows.push_back(r);
    }
    v.selected = found.empty() ? -1 : choice - first;
    v.matches = matches;
}

// The party ----------------------------------------------------------------------------------------

party::party(partystore& s, partycontrol& c, const partyoptions& o, const std::string& cachefolder)
    : store(s), control(c), options(o), cache(cachefolder), prep(cachefolder),
      flow((long long)o.countdown * 1000), pick(s), offsetms(o.offset)
{
    char here[PATH_MAX];
    if (getcwd(here, sizeof here))
        home = here;
}

party::~party()
{
    if (scanner.joinable())
        scanner.join();
}

void party::loadpartyfont()
{
    // The party's own screens use a font of their own, made once from the system's outline font
    // and kept in the cache; a song's script uses the song's font.pcx.
    std::string path = cache + "/party-font-16.pcx";
    if (access(path.c_str(), R_OK) != 0) {
        fontstyle style;
        style.size = 16;
        madefont made;
        std::string why = makefont(TRALUNE_DEFAULT_FONT, style, &made);
        if (why.empty())
            why = savefile(path, made.pcx);
        if (!why.empty())
            std::cerr << "tralune-party: warning: " << why << "; the party's screens show no text\n";
    }
    font::instance()->loadfont(path.c_str());
}

void party::news(const std::string& line)
{
    newsline = line;
    newsuntil = nowms() + 8000;
    redraw = true;
}

void party::refreshqueue()
{
    queue = store.queue();
    // Ready ahead: the song up next or playing, and the one after it, each at its key and tempo.
    std::vector<songinfo> wanted;
    std::vector<songchange> changes;
    for (const queueentry& e : queue) {
        // The key and tempo of the song up next may change until it starts.
        if (e.entry == current.entry && flow.current() == partyflow::UPNEXT) {
            current.key = e.key;
            current.tempo = e.tempo;
        }
        songinfo s;
        if (wanted.size() < 2 && store.song(e.song, s)) {
            wanted.push_back(s);
            changes.push_back(changeof(e));
        }
    }
    prep.want(wanted, changes);
    redraw = true;
}

void party::poll()
{
    int asked = control.takerequests();
    if (asked & partycontrol::QUEUE)
        refreshqueue();
    bool song = flow.current() == partyflow::SONG;
    if (asked & partycontrol::SKIP)
        stopsong = true;
    // The song's clock stands still with its music: "at" lines and CD+G packets wait on it, and the
    // display's waits hold meanwhile (see waithook), so that "sleep" lines wait too.
    if (song && runner && (asked & partycontrol::PAUSE) && !paused) {
        long long now = monotonicns();
        paused = true;
        runner->clock.pause(now);
        pauseplayer(player, true);
        control.setpaused(true, now);
    }
    if (song && runner && (asked & partycontrol::RESUME) && paused) {
        long long now = monotonicns();
        paused = false;
        runner->clock.resume(now);
        pauseplayer(player, false);
        control.setpaused(false, now);
    }
    videokey k;
    while (nextvideokey(&k)) {
        if (song) {
            // The song owns the screen: only leaving it and quitting count.
            if (k.key == VK_QUIT)
                quitting = true;
            else if (k.key == VK_ESCAPE)
                stopsong = true;
            else if (k.key == VK_F9 || k.key == VK_F10)
                moveoffset(k.key == VK_F9 ? -1 : 1);
            continue;
        }
        if (k.key == VK_F9 || k.key == VK_F10) {
            moveoffset(k.key == VK_F9 ? -1 : 1);
            continue;
        }
        picker::outcome o = pick.key(k);
        redraw = true;
        if (o.quit)
            quitting = true;
        if (!o.news.empty())
            news(o.news);
        if (o.queued || o.changed) {
            control.changed();
            refreshqueue();
        }
    }
    if (song && offsetshownuntil && nowms() >= offsetshownuntil)
        drawoffset(nowms());
    if (scangrew.exchange(false) && !song && nowms() - lastrefresh >= 500) {
        lastrefresh = nowms();
        pick.refresh();
        redraw = true;
    }
}

void party::moveoffset(int by)
{
    offsetms = stepoffset(offsetms, by);
    store.setsetting("offset", std::to_string(offsetms));
    if (flow.current() != partyflow::SONG) {
        news(offsetnews());
        return;
    }
    // The clock is shared with the script's waits, which look at it again within a moment.
    if (runner)
        runner->clock.setoffset(offsetms);
    offsetshownuntil = nowms() + 2000;
    drawoffset(nowms());
}

std::string party::offsetnews() const
{
    char line[96];
    snprintf(line, sizeof line, "Sync offset: %+d ms (F9: lyrics earlier, F10: later)", offsetms);
    return line;
}

void party::drawoffset(long long now)
{
    // Drawn over the song's picture at the bottom; what it covered is put back when it goes.
    gfx* g = gfx::instance();
    int h = rowheight() + 8, top = SCREEN_H - h;
    pixel* strip = g->pixels + (size_t)top * SCREEN_W;
    if (offsetshownuntil && now < offsetshownuntil) {
        if (undershown.empty())
            undershown.assign(strip, strip + (size_t)h * SCREEN_W);
        fillrect(0, top, SCREEN_W, h, 0);
        drawtext(fittext(offsetnews(), SCREEN_W - 16), 8, top + 4, 1, 0x00FFFFFF);
        drawnover.assign(strip, strip + (size_t)h * SCREEN_W);
    } else {
        // Only the pixels still as the line left them go back: what the song drew since stays.
        for (size_t i = 0; i < undershown.size() && i < drawnover.size(); i++)
            if (strip[i] == drawnover[i])
                strip[i] = undershown[i];
        undershown.clear();
        drawnover.clear();
        offsetshownuntil = 0;
    }
    g->show();
}

bool party::scriptstopped()
{
    party* p = running;
    if (!p)
        return false;
    p->poll();
    return p->stopsong || p->quitting;
}

int party::waithook()
{
    party* p = running;
    if (!p)
        return VIDEOWAIT_ON;
    p->poll();
    if (p->stopsong || p->quitting)
        return VIDEOWAIT_END;
    return p->paused ? VIDEOWAIT_HOLD : VIDEOWAIT_ON;
}

void party::drawscreen(long long now)
{
    if (now >= newsuntil)
        newsline.clear();
    pickerview v;
    v.message = newsline;
    v.phoneurl = phoneurl;
    v.phonecode = phonecode;
    if (newsline.empty() && store.folders().empty())
        v.message = "No songs yet: start tralune-party with a folder of songs, e.g. tralune-party ~/Karaoke";
    long long songs = store.countsongs();
    v.status = scanning ? "Scanning: " + std::to_string(scanned.load()) + " songs"
                        : std::to_string(songs) + (songs == 1 ? " song" : " songs");
    for (const queueentry& e : queue) {
        // The song on the up-next screen is shown large above; the list is of those after it.
        if (e.entry == flow.entry())
            continue;
        if (v.queue.size() == 5)
            break;
        std::string change = changelabel(e.key, e.tempo);
        v.queue.push_back({change.empty() ? e.title : e.title + " (" + change + ")", e.artist, e.singer});
    }
    if (flow.current() == partyflow::UPNEXT) {
        upnextview u;
        u.title = current.title;
        u.artist = current.artist;
        u.singer = current.singer;
        u.seconds = flow.secondsleft(now);
        renderedsong r = prep.rendered(current.song, changeof(current));
        std::string change = changelabel(current.key, current.tempo);
        if (u.seconds == 0 && prep.state(current.song).now != preparedsong::READY) {
            u.note = "Getting the song ready...";
        } else if (r.now == renderedsong::WAITING || r.now == renderedsong::RENDERING) {
            // Only worth a word once the countdown is over and the singer waits for it.
            if (u.seconds == 0)
                u.note = "Changing the key and tempo (" + change + "): " + std::to_string(int(r.done * 100)) + "%";
            else
                u.note = change;
        } else if (r.now == renderedsong::FAILED) {
            u.note = "The key and tempo could not be changed; the song plays as it is.";
        } else {
            u.note = change;
        }
        pick.fill(v, upnextpickerrows());
        drawupnext(u, v);
    } else {
        pick.fill(v, pickerrows());
        drawpicker(v);
    }
    gfx::instance()->show();
}

void party::playsong()
{
    preparedsong p = prep.state(current.song);
    gfx* g = gfx::instance();
    // The song's folder is the current one while it plays: its script names its pictures and its
    // stream relative to it, as tralune finds them.
    songerror.clear();
    if (chdir(p.folder.c_str()) != 0) {
        stopsong = false;
        songerror = p.folder + ": error: cannot go into the song's folder";
        return;
    }
    if (font::instance()->loadfont("font.pcx") != 0)
        std::cerr << p.folder << "/font.pcx: warning: cannot be read; the song's lines show no text\n";
    g->clearscreen(0, 0, 0);
    stopsong = paused = false;
    runner.reset(new script());
    runner->stopped = scriptstopped;
    // A song changed in key or tempo plays its render, on a clock at its tempo; one whose render
    // failed plays as it is, with a line saying so, rather than losing the turn.
    songplay music = playfor(current, prep.rendered(current.song, changeof(current)));
    if (!music.warning.empty()) {
        news(music.warning);
        std::cerr << "tralune-party: " << music.warning << "\n";
    }
    runner->clock.settempo(music.tempo);
    runner->clock.setoffset(offsetms);
    playerstart how;
    how.command = playercommand(music.file);
    how.folder = p.folder;
    how.at = monotonicns() + SONG_DELAY_NS;
    how.owned = true;
    // Song time 0 where the music starts, as in tralune.
    runner->clock.startat(how.at);
    player = startplayer(how);
    store.startplaying(current.entry);
    control.showsong(current.entry, current.song, how.at);
    control.changed();
    int result = runner->readscript("script.txt");
    if (result != 0 && result != script::STOPPED) {
        songerror = runner->message;
        std::cerr << p.folder << "/script.txt: error: " << songerror << "\n";
    } else {
        // The script has run; the music may go on after its last line, and the song is over when
        // both are. The last frame stays meanwhile.
        while (!stopsong && !quitting && playerrunning(player))
            g->waituntil(monotonicns() + 10000000);
        if (!playerrunning(player))
            player = -1;
    }
    stopplayer(player);
    player = -1;
    offsetshownuntil = 0;
    undershown.clear();
    drawnover.clear();
    if (chdir(home.c_str()) != 0)
        std::cerr << "tralune-party: warning: cannot go back to " << home << "\n";
    loadpartyfont();
}

void party::run(const std::vector<std::string>& folders)
{
    running = this;
    loadpartyfont();
    keepvideoinput();
    setvideowaithook(waithook);
    if (!folders.empty()) {
        scanning = true;
        scanner = std::thread([this, folders] {
            store.scan(folders, options.order, [this](const scanprogress& s) {
                scanned = s.found;
                scangrew = true;
            });
            scanning = false;
            scangrew = true;
        });
    }
    pick.refresh();
    refreshqueue();
    long long lastdraw = 0;
    for (;;) {
        poll();
        long long now = nowms();
        flowfacts f;
        f.queued = !queue.empty();
        f.quit = quitting;
        f.skip = stopsong;
        if (flow.current() != partyflow::PICKER) {
            preparedsong p = prep.state(current.song);
            f.prepared = p.now == preparedsong::READY    ? flowfacts::READY
                         : p.now == preparedsong::FAILED ? flowfacts::FAILED
                                                         : flowfacts::PREPARING;
        }
        bool songended = flow.current() == partyflow::SONG;
        f.songover = songended && songerror.empty();
        f.songfailed = songended && !songerror.empty();
        flowaction a = flow.next(now, f);
        switch (a) {
        case TAKE:
            if (store.takenext(current)) {
                flow.upnext(current.entry, now);
                control.showupnext(current.entry, current.song);
                refreshqueue();
            } else {
                flow.nothingtaken();
                refreshqueue();
            }
            redraw = true;
            continue;
        case START:
            playsong();
            continue;
        case DROP:
            stopsong = false;
            store.finish(current.entry, "skipped");
            break;
        case FAIL: {
            std::string why = songerror.empty() ? prep.state(current.song).reason : songerror;
            store.fail(current.entry, why);
            store.markfailed(current.song, why);
            prep.forget(current.song);
            news("Cannot play " + quotedtitle(current.title) + ": " + why);
            std::cerr << "tralune-party: " << why << "\n";
            songerror.clear();
            pick.refresh();
            break;
        }
        case FINISH:
            store.finish(current.entry);
            break;
        case QUIT:
            // A song left playing by a quit is the first again at the next start.
            stopplayer(player);
            player = -1;
            running = nullptr;
            setvideowaithook(nullptr);
            return;
        case STAY:
            if (redraw || now - lastdraw >= 100 || (newsuntil && now >= newsuntil)) {
                drawscreen(now);
                lastdraw = now;
                redraw = false;
                if (now >= newsuntil)
                    newsuntil = 0;
            }
            gfx::instance()->waituntil(monotonicns() + 10000000);
            continue;
        }
        // The song on the screen has gone (dropped, failed or finished): the picker, and the queue
        // as it is now.
        stopsong = false;
        control.showpicker();
        refreshqueue();
        redraw = true;
    }
}
