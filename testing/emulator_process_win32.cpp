#include "emulator_process.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace corvil::testing {

namespace {
// Generous: Wine on a busy 2-core machine can be slow to start a program.
constexpr int kAnswerTimeoutMs = 30000;

std::string commandLine(const std::string &program, const std::vector<std::string> &args) {
    std::string line = "\"" + program + "\"";
    for (const std::string &a : args) line += " \"" + a + "\"";
    return line;
}

std::string tempName(const char *prefix) {
    char dir[MAX_PATH] = {}, name[MAX_PATH] = {};
    ::GetTempPathA(sizeof dir, dir);
    ::GetTempFileNameA(dir, prefix, 0, name);
    return name;
}

HANDLE inheritableFile(const std::string &path, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Read in text mode: programs write CR LF on Windows, the tests compare lines.
std::string slurp(const std::string &path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
} // namespace

void usePrivateRendezvous() {
    std::string dir = tempName("cvt");
    ::DeleteFileA(dir.c_str());
    if (!::CreateDirectoryA(dir.c_str(), nullptr)) throw std::runtime_error("cannot make a rendezvous folder");
    ::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str());
    _putenv_s("LOCALAPPDATA", dir.c_str());
}

EmulatorProcess::~EmulatorProcess() {
    if (!running()) return;
    command("quit");
    ::CloseHandle(toChild_);
    toChild_ = nullptr;
    if (::WaitForSingleObject(process_, kAnswerTimeoutMs) != WAIT_OBJECT_0) ::TerminateProcess(process_, 9);
    release();
}

bool EmulatorProcess::running() const { return process_ != nullptr; }

bool EmulatorProcess::start(const std::vector<std::string> &args) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr, toChild = nullptr, fromChild = nullptr;
    if (!::CreatePipe(&childIn, &toChild, &sa, 0) || !::CreatePipe(&fromChild, &childOut, &sa, 0)) return false;
    ::SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE); // its errors go where ours go
    PROCESS_INFORMATION pi{};
    std::string line = commandLine(CORVIL_EMULATOR_PATH, args);
    const BOOL ok = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
    toChild_ = toChild;
    fromChild_ = fromChild;
    if (!ok) {
        release();
        return false;
    }
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    return readLine() == "ready";
}

std::string EmulatorProcess::readLine() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    for (;;) {
        if (std::optional<std::string> line = answers_.next()) return *line;
        if (std::chrono::steady_clock::now() > deadline) return "<no answer>";
        DWORD available = 0;
        if (!fromChild_ || !::PeekNamedPipe(fromChild_, nullptr, 0, nullptr, &available, nullptr)) return "<closed>";
        if (available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        char chunk[1024];
        DWORD n = 0;
        if (!::ReadFile(fromChild_, chunk, sizeof chunk, &n, nullptr) || n == 0) return "<closed>";
        answers_.add(chunk, n);
    }
}

std::string EmulatorProcess::command(const std::string &line) {
    const std::string l = line + "\n";
    DWORD n = 0;
    return toChild_ && ::WriteFile(toChild_, l.data(), static_cast<DWORD>(l.size()), &n, nullptr) ? readLine()
                                                                                                  : "<closed>";
}

void EmulatorProcess::kill() {
    if (process_) {
        ::TerminateProcess(process_, 9);
        ::WaitForSingleObject(process_, kAnswerTimeoutMs);
    }
    release();
}

// Every thread of the emulator stopped, or let run again.
void EmulatorProcess::freeze(bool frozen) {
    using Call = LONG(WINAPI *)(HANDLE);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    auto call = reinterpret_cast<Call>(
        reinterpret_cast<void *>(::GetProcAddress(ntdll, frozen ? "NtSuspendProcess" : "NtResumeProcess")));
    if (call && process_) call(process_);
}

void EmulatorProcess::release() {
    for (void **h : {&process_, &toChild_, &fromChild_}) {
        if (*h) ::CloseHandle(*h);
        *h = nullptr;
    }
    answers_.clear();
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args) {
    RunResult result;
    const std::string outPath = tempName("cvo"), errPath = tempName("cve");
    HANDLE in = inheritableFile("NUL", false), out = inheritableFile(outPath, true), err = inheritableFile(errPath, true);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::string line = commandLine(program, args);
    if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        result.exitCode = static_cast<int>(code);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    for (HANDLE h : {in, out, err}) ::CloseHandle(h);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    ::DeleteFileA(outPath.c_str());
    ::DeleteFileA(errPath.c_str());
    return result;
}

} // namespace corvil::testing
