// The access token asked of clients when corvil-remote listens beyond
// loopback: made once from the system's random source and kept in the
// user's configuration folder, readable by the user alone.
#pragma once

#include <string>

namespace corvil::remote {

// $XDG_CONFIG_HOME/corvil/remote-token (~/.config/...); on Windows
// %APPDATA%\Tolvane\Corvil\remote-token. Empty when neither is set.
std::string defaultTokenPath();

// The token kept in `path`; a new one, written there, when the file does
// not exist. Throws std::runtime_error with the reason when neither works.
std::string loadOrCreateToken(const std::string &path);

// 32 bytes of the system's random source, as 64 hexadecimal digits.
std::string newToken();

} // namespace corvil::remote
