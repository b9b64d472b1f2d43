#include "win32_screenshot.h"

#include <cstdio>

namespace corvil::screenshot {

bool save(HWND window, const std::string &path, bool withFrame) {
    // The picture is taken from the screen: the window goes on top of the
    // program's others first (on a high-dpi screen they overlap).
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    RECT r;
    POINT origin{0, 0};
    if (withFrame) {
        ::GetWindowRect(window, &r);
        origin = {r.left, r.top};
        r = {0, 0, r.right - r.left, r.bottom - r.top};
    } else {
        ::GetClientRect(window, &r);
        ::ClientToScreen(window, &origin);
    }
    if (r.right <= 0 || r.bottom <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = r.right;
    info.bmiHeader.biHeight = r.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, r.right, r.bottom, screen, origin.x, origin.y, SRCCOPY);
    ::GdiFlush();
    const int stride = (r.right * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * r.bottom);
    bool written = false;
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
        written = std::fwrite(&file, sizeof file, 1, f) == 1 &&
                  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
                  std::fwrite(bits, 1, static_cast<std::size_t>(stride * r.bottom), f) ==
                      static_cast<std::size_t>(stride * r.bottom);
        written = (std::fclose(f) == 0) && written;
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return written;
}

} // namespace corvil::screenshot
