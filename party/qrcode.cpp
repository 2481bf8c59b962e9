// The QR code of the phone page's address: libqrencode's modules drawn at a whole scale.
#include "qrcode.h"

#include <qrencode.h>

bool makeqrcode(const std::string& text, qrcode& code)
{
    code = qrcode();
    QRcode* made = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
    if (!made)
        return false;
    code.size = made->width;
    code.dark.resize(size_t(made->width) * made->width);
    // Bit 0 of each of libqrencode's bytes is the module's colour; the others say what the module is.
    for (size_t i = 0; i < code.dark.size(); i++)
        code.dark[i] = made->data[i] & 1;
    QRcode_free(made);
    return true;
}

int qrscale(const qrcode& code, int box)
{
    int modules = code.size + 2 * QR_QUIET;
    if (code.size <= 0 || box < modules)
        return 0;
    return box / modules;
}

int drawqrcode(pixel* frame, const qrcode& code, int x, int y, int box)
{
    int scale = qrscale(code, box);
    if (!scale)
        return 0;
    int side = (code.size + 2 * QR_QUIET) * scale;
    for (int py = 0; py < side; py++) {
        int sy = y + py;
        if (sy < 0 || sy >= SCREEN_H)
            continue;
        int my = py / scale - QR_QUIET;
        for (int px = 0; px < side; px++) {
            int sx = x + px;
            if (sx < 0 || sx >= SCREEN_W)
                continue;
            int mx = px / scale - QR_QUIET;
            bool dark = mx >= 0 && my >= 0 && mx < code.size && my < code.size
                        && code.dark[size_t(my) * code.size + mx];
            frame[sy * SCREEN_W + sx] = dark ? 0x000000 : 0xFFFFFF;
        }
    }
    return side;
}
