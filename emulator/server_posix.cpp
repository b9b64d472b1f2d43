#include "server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <string>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "line_splitter.h"
#include "session.h"
#include "virtual/channel.h"
#include "wire.h"

namespace corvil::emulator {

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

using Report = UnitModel::Report;

// Never waits: a host that takes nothing must not stall the unit.
Session::Sent sendMessage(int fd, const Report &message) {
    for (;;) {
        if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
            static_cast<ssize_t>(message.size()))
            return Session::Sent::Ok;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return Session::Sent::Full;
        if (errno != EINTR) return Session::Sent::Failed;
    }
}

struct Connection {
    Connection(int fd, std::size_t unit, UnitModel &model)
        : fd(fd), unit(unit), session(model, [fd](const Report &m) { return sendMessage(fd, m); }) {}
    int fd;
    std::size_t unit;
    Session session;
    bool dead = false; // closed by the peer or failed; removed after the pass
};

class Server {
public:
    explicit Server(Bench &bench) : bench_(bench), listeners_(bench.units.size(), -1) {}

    int run() {
        std::string why;
        place_ = corvhid::virt::rendezvousPlace(true, &why);
        if (place_.empty()) {
            std::fprintf(stderr, "corvil-emulator: no private rendezvous directory: %s\n", why.c_str());
            return 1;
        }
        for (std::size_t u = 0; u < bench_.units.size(); ++u) {
            paths_.push_back(corvhid::virt::entryPath(
                place_, corvhid::virt::entryName(static_cast<unsigned long>(::getpid()), static_cast<unsigned>(u))));
            bench_.units[u]->onReport = [this, u](const Report &r) { broadcast(u, r); };
            if (!listen(u)) {
                shutdown();
                return 1;
            }
        }
        bench_.connectionCount = [this](std::size_t u) {
            std::size_t n = 0;
            for (const Connection &c : connections_) n += c.unit == u && !c.dead ? 1 : 0;
            return n;
        };
        bench_.onPlug = [this](std::size_t u, bool plug) {
            if (plug)
                listen(u);
            else
                unplug(u);
        };
        std::printf("ready\n");
        std::fflush(stdout);

        bool quit = false;
        bool inputOpen = true;
        LineSplitter input;
        while (!quit && !gStop) {
            const std::int64_t now = nowMs();
            std::int64_t due = now + 1000;
            for (auto &unit : bench_.units) {
                unit->advance(now);
                due = std::min(due, unit->nextDue());
            }

            std::vector<pollfd> fds;
            if (inputOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
            const std::size_t firstListener = fds.size();
            for (int fd : listeners_) fds.push_back({fd, static_cast<short>(fd >= 0 ? POLLIN : 0), 0});
            const std::size_t firstConnection = fds.size();
            for (const Connection &c : connections_)
                fds.push_back({c.fd, static_cast<short>(POLLIN | (c.session.waitsForRoom() ? POLLOUT : 0)), 0});

            int wait = static_cast<int>(std::clamp<std::int64_t>(due - nowMs(), 0, 1000));
            if (::poll(fds.data(), fds.size(), wait) < 0) {
                if (errno == EINTR) continue;
                std::perror("corvil-emulator: poll");
                break;
            }

            // Messages from the units' connections first: a command that
            // follows a host's transfer must see its effect.
            for (std::size_t u = 0; u < listeners_.size(); ++u) {
                const pollfd &p = fds[firstListener + u];
                if (p.fd >= 0 && p.fd == listeners_[u] && (p.revents & POLLIN)) accept(u);
            }
            for (std::size_t i = firstConnection; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                for (Connection &c : connections_) {
                    if (c.fd != fds[i].fd || c.dead) continue;
                    if (!serviceConnection(c) || ((fds[i].revents & POLLOUT) && !c.session.onRoom())) c.dead = true;
                }
            }
            connections_.remove_if([](const Connection &c) {
                if (c.dead) ::close(c.fd);
                return c.dead;
            });
            if (inputOpen && fds[0].revents) {
                char chunk[4096];
                ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
                if (n <= 0)
                    inputOpen = false; // end of input: the last line without its newline, then quit
                else
                    input.add(chunk, static_cast<std::size_t>(n));
                while (!quit) {
                    const std::optional<std::string> line = inputOpen ? input.next() : input.rest();
                    if (!line) break;
                    std::string answer = bench_.execute(*line, nowMs(), quit);
                    std::printf("%s\n", answer.c_str());
                    std::fflush(stdout);
                }
                if (!inputOpen) quit = true;
            }
        }
        shutdown();
        return 0;
    }

private:
    bool listen(std::size_t u) {
        const std::string &path = paths_[u];
        ::unlink(path.c_str());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) {
            std::fprintf(stderr, "corvil-emulator: rendezvous path too long: %s\n", path.c_str());
            return false;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(fd, 16) != 0) {
            std::fprintf(stderr, "corvil-emulator: cannot serve %s: %s\n", path.c_str(), std::strerror(errno));
            if (fd >= 0) ::close(fd);
            return false;
        }
        listeners_[u] = fd;
        return true;
    }

    void unplug(std::size_t u) {
        if (listeners_[u] >= 0) ::close(listeners_[u]);
        listeners_[u] = -1;
        ::unlink(paths_[u].c_str());
        connections_.remove_if([u](const Connection &c) {
            if (c.unit == u) ::close(c.fd);
            return c.unit == u;
        });
    }

    void shutdown() {
        for (std::size_t u = 0; u < listeners_.size(); ++u)
            if (listeners_[u] >= 0 || u < paths_.size()) unplug(u);
    }

    void accept(std::size_t u) {
        int fd = ::accept4(listeners_[u], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        auto hello = corvhid::wire::encode(bench_.units[u]->hello());
        if (::send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(hello.size())) {
            ::close(fd);
            return;
        }
        connections_.emplace_back(fd, u, *bench_.units[u]);
    }

    void broadcast(std::size_t u, const Report &report) {
        for (Connection &c : connections_)
            if (c.unit == u && !c.dead && !c.session.onReport(report)) c.dead = true;
    }

    bool serviceConnection(Connection &c) {
        for (;;) {
            std::uint8_t buffer[corvhid::wire::kMaxMessage];
            ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0) return false;
            if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
            if (!c.session.onMessage(Report(buffer, buffer + n), nowMs())) return false;
        }
    }

    Bench &bench_;
    std::string place_;
    std::vector<std::string> paths_;
    std::vector<int> listeners_;
    std::list<Connection> connections_;
};

} // namespace

int serve(Bench &bench) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return Server(bench).run();
}

} // namespace corvil::emulator
