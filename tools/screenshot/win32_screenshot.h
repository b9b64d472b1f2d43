// A window as the screen shows it, saved as a BMP file for a person to look
// at: for the tests' artifacts and fathom-host's screenshots.
#pragma once

#include <windows.h>

#include <string>

namespace corvil::screenshot {

// Saves the window's client area, or the whole window with its frame, as a
// 24-bit BMP file; false when it could not be written.
bool save(HWND window, const std::string &path, bool withFrame = false);

} // namespace corvil::screenshot
