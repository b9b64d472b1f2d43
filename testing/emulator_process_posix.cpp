#include "emulator_process.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
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

std::vector<char *> argv(const std::string &program, const std::vector<std::string> &args) {
    std::vector<char *> v{const_cast<char *>(program.c_str())};
    for (const std::string &a : args) v.push_back(const_cast<char *>(a.c_str()));
    v.push_back(nullptr);
    return v;
}

std::string drain(int fd) {
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    return out;
}
} // namespace

void usePrivateRendezvous() {
    char pattern[] = "/tmp/corvil-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    ::setenv("XDG_RUNTIME_DIR", pattern, 1);
}

std::string EmulatorProcess::program() { return CORVIL_EMULATOR_PATH; }

EmulatorProcess::~EmulatorProcess() {
    if (running()) stop();
}

bool EmulatorProcess::running() const { return pid_ > 0; }

void EmulatorProcess::freeze(bool frozen) {
    if (pid_ > 0) ::kill(pid_, frozen ? SIGSTOP : SIGCONT);
}

bool EmulatorProcess::start(const std::vector<std::string> &args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const std::string prog = program();
    auto v = argv(prog, args);
    int rc = posix_spawn(&pid_, prog.c_str(), &actions, nullptr, v.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    return readLine() == "ready";
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
    std::string l = line + "\n";
    if (::write(toChild_, l.data(), l.size()) != static_cast<ssize_t>(l.size())) return "<closed>";
    return readLine();
}

int EmulatorProcess::stop() {
    if (pid_ <= 0) return -1;
    command("quit");
    ::close(toChild_);
    ::close(fromChild_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void EmulatorProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::close(toChild_);
    ::close(fromChild_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args) {
    RunResult result;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    auto v = argv(program, args);
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, v.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (rc == 0) {
        // The outputs are small: read one to its end, then the other.
        result.out = drain(out[0]);
        result.err = drain(err[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::close(out[0]);
    ::close(err[0]);
    return result;
}

} // namespace corvil::testing
