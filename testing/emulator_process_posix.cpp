#include "emulator_process.h"

#include <chrono>
#include <cstdlib>
#include <stdexcept>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace corvil::testing {

namespace {
// Generous: a busy 2-core machine under sanitizers can be slow to start.
constexpr int kAnswerTimeoutMs = 20000;

// Starts `program` with `in` as its standard input and `out` as its output;
// -1 when it did not start.
pid_t spawn(const std::string &program, const std::vector<std::string> &args, int in, int out) {
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}
} // namespace

void usePrivateRendezvous() {
    char pattern[] = "/tmp/corvil-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    ::setenv("XDG_RUNTIME_DIR", pattern, 1);
}

EmulatorProcess::~EmulatorProcess() {
    if (!running()) return;
    command("quit");
    reap();
}

bool EmulatorProcess::running() const { return pid_ > 0; }

void EmulatorProcess::freeze(bool frozen) { if (pid_ > 0) ::kill(pid_, frozen ? SIGSTOP : SIGCONT); }

bool EmulatorProcess::start(const std::vector<std::string> &args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
    pid_ = spawn(CORVIL_EMULATOR_PATH, args, in[0], out[1]);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    return pid_ > 0 && readLine() == "ready";
}

std::string EmulatorProcess::readLine() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    for (;;) {
        if (std::optional<std::string> line = answers_.next()) return *line;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "<no answer>";
        pollfd p{fromChild_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[1024];
        ssize_t n = ::read(fromChild_, chunk, sizeof chunk);
        if (n <= 0) return "<closed>";
        answers_.add(chunk, static_cast<std::size_t>(n));
    }
}

std::string EmulatorProcess::command(const std::string &line) {
    const std::string l = line + "\n";
    return ::write(toChild_, l.data(), l.size()) == static_cast<ssize_t>(l.size()) ? readLine() : "<closed>";
}

void EmulatorProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    reap();
}

void EmulatorProcess::reap() {
    ::close(toChild_);
    ::close(fromChild_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

} // namespace corvil::testing
