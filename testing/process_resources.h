// What this process holds, for tests that repeat a cycle many times and
// expect to hold no more at the end than after the first: open descriptors,
// threads and heap in use on Linux; kernel handles on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <filesystem>
#include <iterator>

#include <malloc.h>
#endif

namespace corvil::testing {

struct ProcessResources {
    long descriptors = 0; // file descriptors, or handles on Windows
    long threads = 0;     // Linux only
    std::size_t heap = 0; // bytes allocated and not freed; Linux only

    static ProcessResources now() {
        ProcessResources r;
#if defined(_WIN32)
        // Counted by asking after each of the first 16,384 handle values:
        // Wine's GetProcessHandleCount says 0.
        DWORD flags = 0;
        for (std::uintptr_t value = 4; value <= 0x10000; value += 4)
            if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++r.descriptors;
#else
        // The listing's own descriptor is counted too: the same each time.
        using Entries = std::filesystem::directory_iterator;
        r.descriptors = std::distance(Entries("/proc/self/fd"), Entries());
        r.threads = std::distance(Entries("/proc/self/task"), Entries());
        r.heap = mallinfo2().uordblks;
#endif
        return r;
    }
};

} // namespace corvil::testing
