// The page's address as a QR code in the terminal, for a phone's camera.
#pragma once

#include <string>

namespace corvil::remote {

// Prints `text` as a QR code when standard output is a terminal and the
// program was built with libqrencode; otherwise does nothing.
void printQrCode(const std::string &text);

} // namespace corvil::remote
