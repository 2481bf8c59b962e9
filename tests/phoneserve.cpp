// The phone page's server on its own, for the real-browser test while no party runs it: a store in
// DATA with the tests' library scanned into it, the interface with PIN 2468 on 127.0.0.1 on a free
// port, written to PORTFILE once it listens. Runs until SIGTERM or SIGINT.
//   tralune_phoneserve DATA PORTFILE
#include "pagefiles.h"
#include "phonefixture.h"
#include "web.h"

#include <csignal>
#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: %s DATA PORTFILE\n", argv[0]);
        return 1;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::string data = argv[1], why;
    auto store = partystore::open(data + "/data", why);
    if (!store || !makelibrary(data + "/songs") || !store->scan({data + "/songs"}, nameorder::artisttitle, nullptr)) {
        fprintf(stderr, "%s: error: %s\n", argv[0], store ? store->error().c_str() : why.c_str());
        return 1;
    }
    partycontrol control;
    int port = freeloopbackport();
    phonesettings s;
    s.port = port;
    s.pin = "2468";
    s.files = pagefiles();
    phoneapi api(*store, control, s);
    webserver server(api);
    if (!server.start(port, true, why)) {
        fprintf(stderr, "%s: error: %s\n", argv[0], why.c_str());
        return 1;
    }
    {
        std::ofstream out(std::string(argv[2]) + ".tmp");
        out << port << "\n";
    }
    rename((std::string(argv[2]) + ".tmp").c_str(), argv[2]);
    int got;
    sigwait(&stop, &got);
    return 0;
}
