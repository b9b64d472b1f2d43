// Virtual units on POSIX systems: each unit listens on a sequenced-packet
// local socket in the user's private rendezvous directory.
#include "channel.h"
#include "wire.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace corvhid::virt {
namespace {

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

class SocketChannel final : public Channel {
public:
    explicit SocketChannel(int fd) : fd_(fd) {}
    ~SocketChannel() override { ::close(fd_); }

    Io send(const std::vector<std::uint8_t> &message, int timeoutMs) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            ssize_t n = ::send(fd_, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n == static_cast<ssize_t>(message.size())) return Io::Ok;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{fd_, POLLOUT, 0};
                int left = remainingMs(deadline);
                if (left == 0) return Io::TimedOut;
                if (::poll(&p, 1, left) < 0 && errno != EINTR) return Io::Closed;
                continue;
            }
            return Io::Closed;
        }
    }

    Io receive(std::vector<std::uint8_t> &message, int timeoutMs) override {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            std::uint8_t buffer[corvhid::wire::kMaxMessage];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                message.assign(buffer, buffer + n);
                return Io::Ok;
            }
            if (n == 0) return Io::Closed;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Io::Closed;
            int left = remainingMs(deadline);
            if (left == 0) return Io::TimedOut;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) < 0 && errno != EINTR) return Io::Closed;
        }
    }

private:
    int fd_;
};

// A directory is trusted when it is a real directory (not a link), owned by
// this user and closed to everybody else.
bool trusted(const std::string &dir, std::string *why) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (why) *why = dir + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        if (why) *why = dir + " is not a private directory of this user";
        return false;
    }
    return true;
}

} // namespace

std::string rendezvousPlace(bool create, std::string *why) {
    std::string dir;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        dir = std::string(runtime) + "/corvil";
    else
        dir = "/tmp/corvil-" + std::to_string(::getuid());
    if (create && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why) *why = dir + ": " + std::strerror(errno);
        return {};
    }
    if (!trusted(dir, why)) return {};
    return dir;
}

std::vector<std::string> listEntries() {
    std::vector<std::string> entries;
    std::string dir = rendezvousPlace(false);
    if (dir.empty()) return entries;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *e = ::readdir(d)) {
            if (e->d_name[0] != 'u') continue;
            std::string path = dir + "/" + e->d_name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) entries.push_back(path);
        }
        ::closedir(d);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isEntry(const std::string &path) {
    std::string dir = rendezvousPlace(false);
    return !dir.empty() && path.size() > dir.size() + 1 && path.compare(0, dir.size() + 1, dir + "/") == 0;
}

std::string entryName(unsigned long processId, unsigned index) {
    char name[32];
    std::snprintf(name, sizeof name, "u%010lu-%03u", processId, index);
    return name;
}

std::string entryPath(const std::string &place, const std::string &name) { return place + "/" + name; }

std::unique_ptr<Channel> connect(const std::string &entry) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (entry.size() >= sizeof address.sun_path) return nullptr;
    std::memcpy(address.sun_path, entry.c_str(), entry.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SocketChannel>(fd);
}

} // namespace corvhid::virt
