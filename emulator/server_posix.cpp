#include "server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
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

class PosixEndpoints : public Endpoints {
public:
    explicit PosixEndpoints(Bench &bench) : bench_(bench), listeners_(bench.units.size(), -1) {}

    bool open() override {
        std::string why;
        const std::string place = corvhid::virt::rendezvousPlace(true, &why);
        if (place.empty()) {
            std::fprintf(stderr, "corvil-emulator: no private rendezvous directory: %s\n", why.c_str());
            return false;
        }
        for (std::size_t u = 0; u < bench_.units.size(); ++u)
            paths_.push_back(corvhid::virt::entryPath(
                place, corvhid::virt::entryName(static_cast<unsigned long>(::getpid()), static_cast<unsigned>(u))));
        return true;
    }

    bool plug(std::size_t u) override {
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

    void unplug(std::size_t u) override {
        if (listeners_[u] >= 0) ::close(listeners_[u]);
        listeners_[u] = -1;
        if (u < paths_.size()) ::unlink(paths_[u].c_str());
        connections_.remove_if([u](const Connection &c) {
            if (c.unit == u) ::close(c.fd);
            return c.unit == u;
        });
    }

    std::size_t connections(std::size_t u) const override { return connections_.of(u); }
    void broadcast(std::size_t u, const Report &report) override { connections_.broadcast(u, report); }

    bool pass(int waitMs, std::vector<std::string> &lines, bool &ended) override {
        std::vector<pollfd> fds;
        if (inputOpen_) fds.push_back({STDIN_FILENO, POLLIN, 0});
        const std::size_t firstListener = fds.size();
        for (int fd : listeners_) fds.push_back({fd, static_cast<short>(fd >= 0 ? POLLIN : 0), 0});
        const std::size_t firstConnection = fds.size();
        for (const Connection &c : connections_)
            fds.push_back({c.fd, static_cast<short>(POLLIN | (c.session.waitsForRoom() ? POLLOUT : 0)), 0});
        if (::poll(fds.data(), fds.size(), waitMs) < 0) {
            if (errno == EINTR) return true;
            std::perror("corvil-emulator: poll");
            return false;
        }

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
        if (inputOpen_ && fds[0].revents) {
            char chunk[4096];
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n <= 0)
                inputOpen_ = false;
            else
                input_.add(chunk, static_cast<std::size_t>(n));
            while (std::optional<std::string> line = inputOpen_ ? input_.next() : input_.rest())
                lines.push_back(std::move(*line));
        }
        ended = !inputOpen_;
        return true;
    }

    bool stopRequested() const override { return gStop != 0; }

private:
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
    std::vector<std::string> paths_;
    std::vector<int> listeners_;
    Connections<Connection> connections_;
    bool inputOpen_ = true;
    LineSplitter input_;
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
    PosixEndpoints endpoints(bench);
    return serve(bench, endpoints);
}

} // namespace corvil::emulator
