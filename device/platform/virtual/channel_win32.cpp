// Virtual units on Windows: each unit serves a message-mode named pipe that
// only this user may open; its rendezvous entry is an empty file of the same
// name in the user's local application data.
#include "channel.h"
#include "wire.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace corvhid::virt {
namespace {

const char kPipePrefix[] = "\\\\.\\pipe\\corvil.";

std::string userName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!::GetUserNameA(name, &size)) return "user";
    return name;
}

class PipeChannel final : public Channel {
public:
    explicit PipeChannel(HANDLE pipe) : pipe_(pipe), event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~PipeChannel() override {
        ::CloseHandle(pipe_);
        ::CloseHandle(event_);
    }

    Io send(const std::vector<std::uint8_t> &message, int timeoutMs) override {
        return transfer(false, const_cast<std::uint8_t *>(message.data()), static_cast<DWORD>(message.size()), timeoutMs,
                        nullptr);
    }

    Io receive(std::vector<std::uint8_t> &message, int timeoutMs) override {
        if (timeoutMs == 0) {
            // Only what is there: one look, not a read started and cancelled
            // for every call that finds nothing.
            DWORD available = 0;
            if (!::PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) return Io::Closed;
            if (available == 0) return Io::TimedOut;
        }
        std::uint8_t buffer[corvhid::wire::kMaxMessage];
        DWORD got = 0;
        Io io = transfer(true, buffer, sizeof buffer, timeoutMs, &got);
        if (io == Io::Ok) message.assign(buffer, buffer + got);
        return io;
    }

private:
    Io transfer(bool reading, std::uint8_t *buffer, DWORD size, int timeoutMs, DWORD *moved) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_;
        ::ResetEvent(event_);
        DWORD n = 0;
        BOOL ok = reading ? ::ReadFile(pipe_, buffer, size, &n, &overlapped)
                          : ::WriteFile(pipe_, buffer, size, &n, &overlapped);
        if (!ok && ::GetLastError() != ERROR_IO_PENDING) return Io::Closed;
        if (!ok && ::WaitForSingleObject(event_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
            ::CancelIo(pipe_);
            // A message that arrived while cancelling is kept, not lost.
            if (!::GetOverlappedResult(pipe_, &overlapped, &n, TRUE)) return Io::TimedOut;
        } else if (!::GetOverlappedResult(pipe_, &overlapped, &n, FALSE)) {
            return Io::Closed;
        }
        if (moved) *moved = n;
        return Io::Ok;
    }

    HANDLE pipe_;
    HANDLE event_;
};

} // namespace

std::string rendezvousPlace(bool create, std::string *why) {
    std::string base;
    if (const char *local = std::getenv("LOCALAPPDATA"); local && *local) {
        base = local;
    } else {
        char temp[MAX_PATH] = {};
        if (!::GetTempPathA(sizeof temp, temp)) {
            if (why) *why = "no local application data folder";
            return {};
        }
        base = temp;
    }
    if (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
    std::string dir = base + "\\Corvil";
    std::string units = dir + "\\units";
    if (create) {
        ::CreateDirectoryA(dir.c_str(), nullptr);
        ::CreateDirectoryA(units.c_str(), nullptr);
    }
    DWORD attributes = ::GetFileAttributesA(units.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (why) *why = units + " is not a folder";
        return {};
    }
    return units;
}

std::vector<std::string> listEntries() {
    std::vector<std::string> names;
    std::string dir = rendezvousPlace(false);
    if (dir.empty()) return names;
    WIN32_FIND_DATAA found{};
    HANDLE search = ::FindFirstFileA((dir + "\\u*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    for (std::string &n : names) n = entryPath(dir, n);
    return names;
}

bool isEntry(const std::string &path) { return path.rfind(kPipePrefix, 0) == 0; }

std::string entryName(unsigned long processId, unsigned index) {
    char name[32];
    std::snprintf(name, sizeof name, "u%010lu-%03u", processId, index);
    return name;
}

// Pipe names are machine-wide: the user's name keeps users apart, and the
// pipe's access list keeps everybody else out.
std::string entryPath(const std::string &, const std::string &name) {
    return kPipePrefix + userName() + "." + name;
}

std::unique_ptr<Channel> connect(const std::string &entry) {
    HANDLE pipe = ::CreateFileA(entry.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return nullptr;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
        ::CloseHandle(pipe);
        return nullptr;
    }
    return std::make_unique<PipeChannel>(pipe);
}

} // namespace corvhid::virt
