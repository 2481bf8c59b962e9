// The phone page as the party program runs it: its options, the address phones reach, the host's PIN,
// the server started beside the screen, and the QR code with the address for the big screen.
#ifndef TRALUNE_PHONE_H
#define TRALUNE_PHONE_H

#include "options.h"
#include "phoneapi.h"
#include "qrcode.h"
#include "web.h"

#include <memory>
#include <string>

class phonepage {
public:
    // Finds the address, chooses the PIN and starts the server for store and control. false, with why
    // saying what failed (the port in use), when it cannot listen; the party then goes on without
    // phones. Does nothing (and returns true) when the options turn the page off.
    bool start(partystore& store, partycontrol& control, const partyoptions& o, std::string& why);
    // Stops the server; its threads have ended when it returns.
    void stop();
    bool running() const { return server != nullptr; }
    // "http://192.168.1.20:8080/", or the --url given; "" when not running.
    const std::string& url() const { return address; }
    const std::string& pin() const { return hostpin; }
    // The address's code; empty when not running.
    const qrcode& code() const { return qr; }
    // The two lines for the terminal at start: the address and the PIN.
    std::string terminallines() const;
    // Draws the QR code of the address with its quiet zone into the frame, in a square of box pixels
    // with its top-left corner at (x, y). The side drawn, 0 when not running or it does not fit.
    int drawcode(pixel* frame, int x, int y, int box) const;

private:
    std::string address, hostpin;
    qrcode qr;
    std::unique_ptr<phoneapi> api;
    std::unique_ptr<webserver> server;
};

#endif
