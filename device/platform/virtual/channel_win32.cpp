// Virtual units on Windows: each unit serves a message-mode named pipe that
// only this user may open (its messages to the host are read as one stream,
// each after its length); its rendezvous entry is an empty file of the same
// name in the user's local application data.
#include "channel.h"
#include "wire.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace corvhid::virt {
namespace {

// How long a read of bytes already there may take to complete.
constexpr int kBytesThereMs = 50;

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

    // The unit's messages come each after a byte that gives its length, read
    // as one stream: what has come since the last look is taken in one read,
    // not one transfer a message.
    Io receive(std::vector<std::uint8_t> &message, int timeoutMs) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (!stream_.empty() && stream_.size() > stream_[0]) {
                message.assign(stream_.begin() + 1, stream_.begin() + 1 + stream_[0]);
                stream_.erase(stream_.begin(), stream_.begin() + 1 + stream_[0]);
                return Io::Ok;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            // Only what is there: what the last look found has been taken,
            // and what came since waits for the next call.
            if (tookAll_ && left.count() <= 0) {
                tookAll_ = false;
                return Io::TimedOut;
            }
            DWORD available = 0;
            if (!::PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) return Io::Closed;
            if (available == 0 && left.count() <= 0) return Io::TimedOut;
            // Bytes already there are read at once, though the read may
            // complete only while this thread waits (Wine): a wait that gave
            // up at once would leave them behind.
            std::uint8_t buffer[4096];
            DWORD got = 0;
            const Io io = transfer(true, buffer, available ? std::min<DWORD>(available, sizeof buffer) : sizeof buffer,
                                   available ? kBytesThereMs : static_cast<int>(left.count()), &got);
            if (io != Io::Ok) return io;
            if (got == 0) return Io::Closed;
            stream_.insert(stream_.end(), buffer, buffer + got);
            tookAll_ = got == available;
        }
    }

private:
    Io transfer(bool reading, std::uint8_t *buffer, DWORD size, int timeoutMs, DWORD *moved) {
        // ReadFile and WriteFile reset the event as they start.
        OVERLAPPED overlapped{};
        overlapped.hEvent = event_;
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
    std::vector<std::uint8_t> stream_; // bytes read, not yet a whole message
    bool tookAll_ = false;             // the last read took all a look found
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
    // Read as bytes (a client's pipe starts so): the unit frames its messages.
    return std::make_unique<PipeChannel>(pipe);
}

} // namespace corvhid::virt
