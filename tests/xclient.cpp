// A tiny X client for the real-screen tests: asks windows to close the way a window manager does, and
// reports the cursor the pointer shows. Not part of the player.
//
//   tralune_xclient close DISPLAY    sends WM_DELETE_WINDOW to every top-level window that takes it;
//                                    prints how many were asked; status 1 when there were none
//   tralune_xclient cursor DISPLAY   prints "WIDTH HEIGHT INK" for the cursor image now shown, INK being
//                                    the number of its pixels that are not fully transparent
//
// Status 2 when the display cannot be opened (the message says "cannot open display"), 3 when the
// request is not available (a cursor query without XFixes), 64 on bad usage.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#ifdef TRALUNE_HAVE_XFIXES
#include <X11/extensions/Xfixes.h>
#endif

#include <cstdio>
#include <cstring>

namespace {

// Sends the close request that a window manager sends when the user closes a window. With no window
// manager running, this is the only way a client can be asked to quit politely.
int closewindows(Display* d)
{
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    Atom deletewindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        return 1;
    int asked = 0;
    for (unsigned i = 0; i < count; i++) {
        Atom* taken = nullptr;
        int ntaken = 0;
        if (!XGetWMProtocols(d, children[i], &taken, &ntaken))
            continue;
        bool takesdelete = false;
        for (int k = 0; k < ntaken; k++)
            takesdelete = takesdelete || taken[k] == deletewindow;
        XFree(taken);
        if (!takesdelete)
            continue;
        XEvent e;
        memset(&e, 0, sizeof e);
        e.xclient.type = ClientMessage;
        e.xclient.window = children[i];
        e.xclient.message_type = protocols;
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(deletewindow);
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, children[i], False, NoEventMask, &e);
        asked++;
    }
    if (children)
        XFree(children);
    XSync(d, False);
    printf("%d\n", asked);
    return asked > 0 ? 0 : 1;
}

int showcursor(Display* d)
{
#ifdef TRALUNE_HAVE_XFIXES
    int event, error;
    if (!XFixesQueryExtension(d, &event, &error)) {
        fprintf(stderr, "the server has no XFixes\n");
        return 3;
    }
    XFixesCursorImage* c = XFixesGetCursorImage(d);
    if (!c) {
        fprintf(stderr, "no cursor image\n");
        return 3;
    }
    long ink = 0;
    for (long i = 0; i < long(c->width) * c->height; i++)
        if ((c->pixels[i] >> 24) & 0xFF)
            ink++;
    printf("%d %d %ld\n", int(c->width), int(c->height), ink);
    XFree(c);
    return 0;
#else
    (void)d;
    fprintf(stderr, "built without XFixes (libxfixes-dev): cannot read the cursor\n");
    return 3;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (strcmp(argv[1], "close") != 0 && strcmp(argv[1], "cursor") != 0)) {
        fprintf(stderr, "usage: %s close|cursor DISPLAY\n", argv[0]);
        return 64;
    }
    Display* d = XOpenDisplay(argv[2]);
    if (!d) {
        fprintf(stderr, "cannot open display %s\n", argv[2]);
        return 2;
    }
    int status = strcmp(argv[1], "close") == 0 ? closewindows(d) : showcursor(d);
    XCloseDisplay(d);
    return status;
}
