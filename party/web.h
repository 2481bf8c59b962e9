// The web server inside the party: libmicrohttpd's own threads take phones' requests and hand each to
// the phone interface, so the screen's thread never waits on the network.
#ifndef TRALUNE_WEB_H
#define TRALUNE_WEB_H

#include "phoneapi.h"

#include <string>

struct MHD_Daemon;

class webserver {
public:
    explicit webserver(phoneapi& api) : api(api) {}
    ~webserver() { stop(); }
    webserver(const webserver&) = delete;
    webserver& operator=(const webserver&) = delete;

    // Listens on port (0 picks a free one) on every interface, or on 127.0.0.1 alone when loopback.
    // false, with why saying what failed ("port 8080 is in use"), when it cannot listen.
    bool start(int port, bool loopback, std::string& why);
    // The port listened on; 0 when not started.
    int port() const { return bound; }
    // Stops listening and waits for the server's threads to end. Safe to call twice.
    void stop();

    phoneapi& api;

private:
    MHD_Daemon* daemon = nullptr;
    int bound = 0;
};

// A TCP port on 127.0.0.1 that nothing listens on now, for a server on loopback whose interface must
// know its port before it starts (the tests and the bench); 0 when none can be had. Another program
// may take it in between.
int freeloopbackport();

#endif
