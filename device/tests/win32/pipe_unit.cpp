#include "pipe_unit.h"

#include <algorithm>
#include <cstring>

#include "session.h"

namespace corvil::testing {

namespace {

constexpr int kListening = 4; // instances waiting, so that two opens in a row both find one

HANDLE newEvent(bool manual) { return ::CreateEventA(nullptr, manual, FALSE, nullptr); }

enum class Io { Done, Failed, Stopped };

// One overlapped transfer on the unit's end, until it ends or `stop` is set.
Io transfer(HANDLE pipe, bool writing, void *buffer, DWORD length, DWORD &moved, HANDLE stop) {
    OVERLAPPED o{};
    o.hEvent = newEvent(true);
    moved = 0;
    BOOL ok = writing ? ::WriteFile(pipe, buffer, length, &moved, &o) : ::ReadFile(pipe, buffer, length, &moved, &o);
    Io result = Io::Done;
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
        HANDLE both[2] = {o.hEvent, stop};
        if (::WaitForMultipleObjects(2, both, FALSE, INFINITE) != WAIT_OBJECT_0) {
            ::CancelIo(pipe); // this thread's one transfer on the pipe
            result = Io::Stopped;
        }
        ok = ::GetOverlappedResult(pipe, &o, &moved, TRUE);
    }
    ::CloseHandle(o.hEvent);
    if (result == Io::Stopped) return ok ? Io::Done : Io::Stopped;
    return ok ? Io::Done : Io::Failed;
}

} // namespace

struct PipeUnit::Connection {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    int number = 0;
    bool asked = false; // it wrote or asked something: a main handle
    std::deque<Report> queue;
    HANDLE queued = newEvent(false);
    HANDLE ended = newEvent(true); // the library's end is gone
    std::thread incoming, outgoing;
    std::atomic<int> serving{2}; // threads not yet done

    void join() {
        incoming.join();
        outgoing.join();
    }
    ~Connection() {
        for (HANDLE h : {pipe, queued, ended}) ::CloseHandle(h);
    }
};

PipeUnit::PipeUnit(emulator::UnitConfig config) : model_(std::move(config), emulator::nowMs()) {
    static std::atomic<int> next{0};
    path_ = "\\\\.\\pipe\\corvil-standin-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++next);
    model_.onReport = [this](const Report &report) {
        // Called with mutex_ held.
        for (auto &c : connections_) {
            if (c->asked) continue;
            c->queue.push_back(report);
            ::SetEvent(c->queued);
        }
    };
    stop_ = newEvent(true);
    listening_ = newEvent(true);
    plug();
}

PipeUnit::~PipeUnit() {
    stopAndJoin();
    ::CloseHandle(stop_);
    ::CloseHandle(listening_);
}

void PipeUnit::plug() {
    stopAndJoin();
    ::ResetEvent(stop_);
    ::ResetEvent(listening_);
    acceptor_ = std::thread([this] { accept(); });
    // Plugged means found: the pipe exists before the caller looks.
    ::WaitForSingleObject(listening_, 10000);
}

void PipeUnit::stopAndJoin() {
    ::SetEvent(stop_);
    if (acceptor_.joinable()) acceptor_.join();
    // The acceptor is gone: nobody adds connections any more.
    std::vector<std::shared_ptr<Connection>> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(connections_);
        roles_.clear();
    }
    for (auto &c : all) c->join();
}

void PipeUnit::forgetEnded() {
    // A unit found and lost over and over keeps only its live connections,
    // so that its own handles and threads do not pile up.
    std::vector<std::shared_ptr<Connection>> ended;
    {
        std::lock_guard lock(mutex_);
        auto live = std::partition(connections_.begin(), connections_.end(),
                                   [](const std::shared_ptr<Connection> &c) { return c->serving != 0; });
        ended.assign(live, connections_.end());
        connections_.erase(live, connections_.end());
    }
    for (auto &c : ended) c->join();
}

void PipeUnit::holdIncoming(bool hold) {
    hold_ = hold;
    // A read already waiting would take the next message: call it back.
    std::lock_guard lock(mutex_);
    // Only main handles are written to, and their one pending transfer is
    // that read.
    if (hold)
        for (auto &c : connections_)
            if (c->asked) ::CancelIoEx(c->pipe, nullptr);
}

void PipeUnit::accept() {
    struct Listener {
        HANDLE pipe;
        OVERLAPPED overlapped;
    };
    std::vector<Listener> listening;
    auto listen = [&] {
        HANDLE pipe = ::CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                         PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) return;
        Listener l{pipe, {}};
        l.overlapped.hEvent = newEvent(true);
        if (!::ConnectNamedPipe(pipe, &l.overlapped) && ::GetLastError() == ERROR_PIPE_CONNECTED)
            ::SetEvent(l.overlapped.hEvent);
        listening.push_back(l);
    };
    while (listening.size() < kListening) listen();
    ::SetEvent(listening_);
    int made = 0;
    for (;;) {
        std::vector<HANDLE> events{stop_};
        for (auto &l : listening) events.push_back(l.overlapped.hEvent);
        DWORD which = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 || which >= WAIT_OBJECT_0 + events.size()) break;
        Listener l = listening[which - WAIT_OBJECT_0 - 1];
        listening.erase(listening.begin() + (which - WAIT_OBJECT_0 - 1));
        listen();
        ::CloseHandle(l.overlapped.hEvent);
        forgetEnded();
        auto c = std::make_shared<Connection>();
        c->pipe = l.pipe;
        c->number = ++made;
        std::lock_guard lock(mutex_);
        roles_ += 'i';
        connections_.push_back(c);
        c->incoming = std::thread([this, c] { serveIncoming(c); });
        c->outgoing = std::thread([this, c] { serveOutgoing(c); });
    }
    for (auto &l : listening) {
        // Closing the instance ends its wait for a connection.
        ::CloseHandle(l.pipe);
        ::WaitForSingleObject(l.overlapped.hEvent, 1000);
        ::CloseHandle(l.overlapped.hEvent);
    }
}

void PipeUnit::serveIncoming(std::shared_ptr<Connection> c) {
    std::vector<std::uint8_t> message(256);
    for (;;) {
        while (hold_ && ::WaitForSingleObject(stop_, 2) == WAIT_TIMEOUT) {
        }
        DWORD n = 0;
        const Io io = transfer(c->pipe, false, message.data(), static_cast<DWORD>(message.size()), n, stop_);
        if (io == Io::Stopped) break;
        if (io == Io::Failed) {
            if (::GetLastError() == ERROR_OPERATION_ABORTED) continue; // called back by holdIncoming
            break;                                                     // the library closed its end
        }
        std::vector<std::uint8_t> m(message.begin(), message.begin() + n);
        if (!answer(*c, m)) break;
    }
    // Breaks the library's end at once, whatever it has pending.
    ::DisconnectNamedPipe(c->pipe);
    ::SetEvent(c->ended);
    --c->serving;
}

bool PipeUnit::answer(Connection &c, const std::vector<std::uint8_t> &m) {
    std::vector<std::uint8_t> reply;
    {
        std::lock_guard lock(mutex_);
        c.asked = true;
        roles_[c.number - 1] = 'm';
        c.queue.clear();
        if (m.size() >= 5 && std::memcmp(m.data(), "hidd", 4) == 0) {
            const char kind = static_cast<char>(m[4]);
            requests_.push_back(std::to_string(c.number) + kind);
            reply = {'h', 'i', 'd', 'd', m[4], 1};
            const auto &config = model_.config();
            auto put16 = [&](std::initializer_list<std::uint16_t> values) { // little-endian
                for (std::uint16_t v : values) reply.insert(reply.end(), {std::uint8_t(v & 0xFF), std::uint8_t(v >> 8)});
            };
            if (kind == 'A') {
                put16({config.vendorId, config.productId, config.versionNumber});
            } else if (kind == 'P') {
                put16({config.inputLength, config.outputLength});
            } else if (kind == 'G' && m.size() == 5 + 6) {
                if (auto feature = model_.getFeature(m[5]))
                    reply.insert(reply.end(), feature->begin(), feature->end());
                else
                    reply[5] = 0;
            } else if (kind == 'S' && m.size() == 5 + 6) {
                reply[5] = model_.setFeature(m.data() + 5, 6) ? 1 : 0;
            } else {
                reply[5] = 0;
            }
        } else {
            ++outputs_;
            model_.receiveOutputReport(m, emulator::nowMs());
            return true;
        }
    }
    DWORD n = 0;
    return transfer(c.pipe, true, reply.data(), static_cast<DWORD>(reply.size()), n, stop_) == Io::Done;
}

void PipeUnit::serveOutgoing(std::shared_ptr<Connection> c) {
    struct Done {
        Connection &c;
        ~Done() { --c.serving; }
    } done{*c};
    HANDLE wake[3] = {stop_, c->queued, c->ended};
    for (;;) {
        Report report;
        {
            std::lock_guard lock(mutex_);
            if (!c->queue.empty()) {
                report = std::move(c->queue.front());
                c->queue.pop_front();
            }
        }
        if (report.empty()) {
            if (::WaitForMultipleObjects(3, wake, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
            continue;
        }
        DWORD n = 0;
        if (transfer(c->pipe, true, report.data(), static_cast<DWORD>(report.size()), n, stop_) != Io::Done) return;
        std::lock_guard lock(mutex_);
        if (!unplugOnceTaken_.empty() && report == unplugOnceTaken_) {
            unplugOnceTaken_.clear();
            ::SetEvent(stop_);
            // Broken here and now, not when the other threads get round to it.
            for (auto &each : connections_) ::DisconnectNamedPipe(each->pipe);
            return;
        }
    }
}

} // namespace corvil::testing
