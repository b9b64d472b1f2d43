// What this process holds, for tests that repeat a cycle many times and
// expect to hold no more at the end than after the first: open descriptors,
// threads and heap in use on Linux; kernel handles on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
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
        r.descriptors = entries("/proc/self/fd");
        r.threads = entries("/proc/self/task");
        r.heap = mallinfo2().uordblks;
#endif
        return r;
    }

    std::string describe() const {
        return "descriptors " + std::to_string(descriptors) + ", threads " + std::to_string(threads) + ", heap " +
               std::to_string(heap);
    }

private:
#if !defined(_WIN32)
    static long entries(const char *dir) {
        long n = 0;
        if (DIR *d = ::opendir(dir)) {
            while (dirent *e = ::readdir(d))
                if (e->d_name[0] != '.') ++n;
            ::closedir(d);
        }
        return n; // counts the listing's own descriptor too: the same each time
    }
#endif
};

} // namespace corvil::testing
