// What a host sees of the plug-in's windows from its own thread: the
// windows by title, and its message loop run for a while.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

inline std::vector<HWND> threadWindows(const std::string &title) {
    using Search = std::pair<std::string, std::vector<HWND>>; // the title, the windows found
    Search search{title, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND w, LPARAM p) -> BOOL {
            auto *s = reinterpret_cast<Search *>(p);
            char text[256] = {};
            ::GetWindowTextA(w, text, sizeof text);
            if (s->first == text) s->second.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// Dispatches this thread's messages for a while, as a host's loop does.
inline void pump(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
}

} // namespace
