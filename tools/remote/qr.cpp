#include "qr.h"

#include <cstdio>

#if defined(CORVIL_REMOTE_QRENCODE)
#include <qrencode.h>
#include <unistd.h>
#endif

namespace corvil::remote {

void printQrCode([[maybe_unused]] const std::string &text) {
#if defined(CORVIL_REMOTE_QRENCODE)
    if (!::isatty(STDOUT_FILENO)) return;
    QRcode *code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) return;
    // Two rows of modules per line in half blocks, dark on light, with the
    // quiet zone of four modules around the code.
    const int quiet = 4, size = code->width + 2 * quiet;
    auto dark = [&](int x, int y) {
        x -= quiet;
        y -= quiet;
        return x >= 0 && y >= 0 && x < code->width && y < code->width && (code->data[y * code->width + x] & 1);
    };
    for (int y = 0; y < size; y += 2) {
        std::string line;
        for (int x = 0; x < size; ++x) {
            const bool top = dark(x, y), bottom = y + 1 < size && dark(x, y + 1);
            line += top ? (bottom ? " " : "\u2584") : (bottom ? "\u2580" : "\u2588");
        }
        std::printf("%s\n", line.c_str());
    }
    QRcode_free(code);
#endif
}

} // namespace corvil::remote
