#include "server.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "line_splitter.h"
#include "session.h"
#include "virtual/channel.h"
#include "wire.h"

namespace corvil::emulator {

namespace {

using Report = UnitModel::Report;
// Room for every report a host may leave untaken, at the longest message.
constexpr DWORD kPipeBuffer = corvhid::wire::kPushWindow * corvhid::wire::kMaxMessage;

HANDLE gWake = nullptr;
volatile LONG gStop = 0;

BOOL WINAPI onConsoleEvent(DWORD) {
    ::InterlockedExchange(&gStop, 1);
    ::SetEvent(gWake);
    return TRUE;
}

// Lines from standard input, read on a thread of their own (a console or an
// anonymous pipe cannot be waited on together with pipe events).
class InputLines {
public:
    void start() {
        std::thread([this] {
            HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
            LineSplitter lines;
            char chunk[4096];
            DWORD n = 0;
            while (::ReadFile(in, chunk, sizeof chunk, &n, nullptr) && n > 0) {
                lines.add(chunk, n);
                while (std::optional<std::string> line = lines.next()) push(std::move(*line), false);
            }
            if (std::optional<std::string> last = lines.rest()) push(std::move(*last), false);
            push({}, true);
        }).detach();
    }
    // Takes the lines that came; `ended` once input is over.
    std::deque<std::string> take(bool &ended) {
        std::lock_guard lock(mutex_);
        ended = ended_;
        return std::exchange(lines_, {});
    }

private:
    void push(std::string line, bool end) {
        {
            std::lock_guard lock(mutex_);
            if (end)
                ended_ = true;
            else
                lines_.push_back(std::move(line));
        }
        ::SetEvent(gWake);
    }
    std::mutex mutex_;
    std::deque<std::string> lines_;
    bool ended_ = false;
};

// A pipe instance with one overlapped connect or read at a time, and one
// write.
struct Pipe {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    std::uint8_t buffer[corvhid::wire::kMaxMessage];
    bool pending = false;
    // The write: it owns its bytes until the system has taken them.
    HANDLE writeEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED writeOverlapped{};
    Report written;
    bool writing = false;

    Pipe() = default;
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    ~Pipe() {
        close();
        ::CloseHandle(event);
        ::CloseHandle(writeEvent);
    }
    void close() {
        if (handle == INVALID_HANDLE_VALUE) return;
        if (pending || writing) {
            DWORD n;
            ::CancelIo(handle);
            if (pending) ::GetOverlappedResult(handle, &overlapped, &n, TRUE);
            if (writing) ::GetOverlappedResult(handle, &writeOverlapped, &n, TRUE);
            pending = writing = false;
        }
        ::DisconnectNamedPipe(handle);
        ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    // Whether the connect or read has ended. The system writes that into
    // the record (Wine, while this thread waits): looking there asks the
    // system nothing, where a look at the event is a request for every pipe
    // every pass.
    bool ended() const { return HasOverlappedIoCompleted(&overlapped); }
    void arm() {
        overlapped = {};
        overlapped.hEvent = event;
        ::ResetEvent(event);
        pending = true;
    }
    // False while the write in flight goes on; `ok` false when it failed.
    bool writeEnded(bool &ok) {
        ok = true;
        if (!writing) return true;
        DWORD n = 0;
        if (::GetOverlappedResult(handle, &writeOverlapped, &n, FALSE)) {
            writing = false;
            return true;
        }
        if (::GetLastError() == ERROR_IO_INCOMPLETE) return false;
        writing = false;
        ok = false;
        return true;
    }
    // Never waits: a message that does not fit goes when the host has read
    // what is in the pipe; until then there is no room for another. Each
    // goes after a byte that gives its length: the host reads whatever has
    // come as one stream.
    Session::Sent send(const Report &message) {
        bool ok = true;
        if (!writeEnded(ok)) return Session::Sent::Full;
        if (!ok) return Session::Sent::Failed;
        written.assign(1, static_cast<std::uint8_t>(message.size()));
        written.insert(written.end(), message.begin(), message.end());
        writeOverlapped = {};
        writeOverlapped.hEvent = writeEvent; // WriteFile resets it as it starts
        if (::WriteFile(handle, written.data(), static_cast<DWORD>(written.size()), nullptr, &writeOverlapped))
            return Session::Sent::Ok;
        if (::GetLastError() != ERROR_IO_PENDING) return Session::Sent::Failed;
        writing = true;
        return Session::Sent::Ok;
    }
};

struct Connection {
    Connection(std::size_t unit, UnitModel &model)
        : unit(unit), session(model, [this](const Report &m) { return pipe.send(m); }) {}
    std::size_t unit;
    Pipe pipe;
    Session session;
    bool dead = false;
};

// Only this user may open the units' pipes.
class PrivateSecurity {
public:
    PrivateSecurity() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<std::uint8_t> user(size);
        char *sid = nullptr;
        if (size && ::GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
            ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, &sid)) {
            std::string sddl = std::string("D:P(A;;GA;;;") + sid + ")";
            ::LocalFree(sid);
            ::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr);
        }
        ::CloseHandle(token);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    ~PrivateSecurity() {
        if (descriptor_) ::LocalFree(descriptor_);
    }
    SECURITY_ATTRIBUTES *attributes() { return descriptor_ ? &attributes_ : nullptr; }
    bool ok() const { return descriptor_ != nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

class Win32Endpoints : public Endpoints {
public:
    explicit Win32Endpoints(Bench &bench) : bench_(bench), listeners_(bench.units.size()) {}

    bool open() override {
        std::string why;
        place_ = corvhid::virt::rendezvousPlace(true, &why);
        if (place_.empty()) {
            std::fprintf(stderr, "corvil-emulator: no rendezvous folder: %s\n", why.c_str());
            return false;
        }
        if (!security_.ok()) {
            std::fprintf(stderr, "corvil-emulator: cannot make the units' pipes private\n");
            return false;
        }
        for (std::size_t u = 0; u < bench_.units.size(); ++u)
            names_.push_back(corvhid::virt::entryName(::GetCurrentProcessId(), static_cast<unsigned>(u)));
        return true;
    }

    bool plug(std::size_t u) override {
        if (!listen(u)) return false;
        HANDLE file = ::CreateFileA(marker(u).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "corvil-emulator: cannot announce %s\n", marker(u).c_str());
            listeners_[u].close();
            return false;
        }
        ::CloseHandle(file);
        return true;
    }

    void unplug(std::size_t u) override {
        ::DeleteFileA(marker(u).c_str());
        listeners_[u].close();
        for (Connection &c : connections_) {
            if (c.unit == u) {
                c.pipe.close();
                c.dead = true;
            }
        }
        connections_.remove_if([](const Connection &c) { return c.dead; });
    }

    std::size_t connections(std::size_t u) const override { return connections_.of(u); }
    void broadcast(std::size_t u, const Report &report) override { connections_.broadcast(u, report); }

    bool pass(int waitMs, std::vector<std::string> &lines, bool &ended) override {
        // Commands are read once every unit is served (a bench that could
        // not start reads none).
        if (!inputStarted_) input_.start();
        inputStarted_ = true;
        std::vector<HANDLE> events{gWake};
        for (Pipe &l : listeners_)
            if (l.handle != INVALID_HANDLE_VALUE) events.push_back(l.event);
        for (Connection &c : connections_) {
            if (!c.dead && events.size() < MAXIMUM_WAIT_OBJECTS) events.push_back(c.pipe.event);
            if (!c.dead && c.pipe.writing && events.size() < MAXIMUM_WAIT_OBJECTS) events.push_back(c.pipe.writeEvent);
        }
        ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, static_cast<DWORD>(waitMs));

        // A transfer that arrived may complete only while this thread waits,
        // so wait (without blocking) until none is left.
        for (bool more = true; more;) {
            more = false;
            for (std::size_t u = 0; u < listeners_.size(); ++u)
                if (listeners_[u].handle != INVALID_HANDLE_VALUE && listeners_[u].ended()) accept(u);
            for (Connection &c : connections_) {
                if (!c.dead && c.pipe.ended()) {
                    service(c);
                    more = true;
                }
                // A write the host's reading made room for: what waited goes now.
                bool ok = true;
                if (!c.dead && c.session.waitsForRoom() && c.pipe.writeEnded(ok) && (!ok || !c.session.onRoom())) {
                    c.pipe.close();
                    c.dead = true;
                }
            }
            connections_.remove_if([](const Connection &c) { return c.dead; });
            std::vector<HANDLE> pending;
            for (Connection &c : connections_)
                if (pending.size() < MAXIMUM_WAIT_OBJECTS) pending.push_back(c.pipe.event);
            if (!more && !pending.empty())
                more = ::WaitForMultipleObjects(static_cast<DWORD>(pending.size()), pending.data(), FALSE, 1) <
                       WAIT_OBJECT_0 + pending.size();
        }

        ::ResetEvent(gWake);
        for (std::string &line : input_.take(ended)) lines.push_back(std::move(line));
        return true;
    }

    bool stopRequested() const override { return gStop != 0; }

private:
    std::string marker(std::size_t u) const { return place_ + "\\" + names_[u]; }

    // Opens a pipe instance that waits for the next client of unit u.
    bool listen(std::size_t u) {
        Pipe &l = listeners_[u];
        const std::string name = corvhid::virt::entryPath(place_, names_[u]);
        l.handle = ::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                      PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0, security_.attributes());
        if (l.handle == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "corvil-emulator: cannot serve %s (error %lu)\n", name.c_str(), ::GetLastError());
            return false;
        }
        l.arm();
        if (!::ConnectNamedPipe(l.handle, &l.overlapped)) {
            DWORD error = ::GetLastError();
            if (error == ERROR_PIPE_CONNECTED) {
                ::SetEvent(l.event);
            } else if (error != ERROR_IO_PENDING) {
                l.close();
                return false;
            }
        }
        return true;
    }

    void accept(std::size_t u) {
        Pipe &l = listeners_[u];
        DWORD n = 0;
        const BOOL connected = ::GetOverlappedResult(l.handle, &l.overlapped, &n, FALSE) ||
                               ::GetLastError() == ERROR_PIPE_CONNECTED;
        l.pending = false;
        HANDLE pipe = l.handle;
        l.handle = INVALID_HANDLE_VALUE;
        listen(u);
        if (!connected) {
            ::CloseHandle(pipe);
            return;
        }
        connections_.emplace_back(u, *bench_.units[u]);
        Connection &c = connections_.back();
        c.pipe.handle = pipe;
        auto hello = corvhid::wire::encode(bench_.units[u]->hello());
        if (c.pipe.send(hello) != Session::Sent::Ok || !startRead(c)) c.dead = true;
    }

    static bool startRead(Connection &c) {
        c.pipe.arm();
        if (::ReadFile(c.pipe.handle, c.pipe.buffer, sizeof c.pipe.buffer, nullptr, &c.pipe.overlapped)) return true;
        if (::GetLastError() == ERROR_IO_PENDING) return true;
        c.pipe.pending = false;
        return false;
    }

    void service(Connection &c) {
        DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(c.pipe.handle, &c.pipe.overlapped, &n, FALSE);
        c.pipe.pending = false;
        if (!ok || n == 0) {
            c.pipe.close();
            c.dead = true;
            return;
        }
        if (!c.session.onMessage(Report(c.pipe.buffer, c.pipe.buffer + n), nowMs()) || !startRead(c)) c.dead = true;
        if (c.dead) c.pipe.close();
    }

    Bench &bench_;
    PrivateSecurity security_;
    // Outlives the server: its reader thread may still wake when standard
    // input closes after the last command.
    InputLines &input_ = *new InputLines;
    bool inputStarted_ = false;
    std::string place_;
    std::vector<std::string> names_;
    std::vector<Pipe> listeners_;
    Connections<Connection> connections_;
};

} // namespace

int serve(Bench &bench) {
    gWake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    Win32Endpoints endpoints(bench);
    return serve(bench, endpoints);
}

} // namespace corvil::emulator
