// Test support on Windows: a window as the screen shows it, saved as a BMP
// file for a person to look at.
#pragma once

#include <windows.h>

#include <string>

namespace corvil::testing {

// Saves the window's client area, or the whole window with its frame, as a
// 24-bit BMP file; false when it could not be written.
bool saveScreenshot(HWND window, const std::string &path, bool withFrame = false);

} // namespace corvil::testing
