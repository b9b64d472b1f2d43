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

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    // Programs write CR LF on Windows; the tests compare lines.
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}
} // namespace

void usePrivateRendezvous() {
    std::string dir = tempName("cvt");
    ::DeleteFileA(dir.c_str());
    if (!::CreateDirectoryA(dir.c_str(), nullptr)) throw std::runtime_error("cannot make a rendezvous folder");
    ::SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str());
    _putenv_s("LOCALAPPDATA", dir.c_str());
}

std::string EmulatorProcess::program() { return CORVIL_EMULATOR_PATH; }

EmulatorProcess::~EmulatorProcess() {
    if (running()) stop();
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
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string line = commandLine(program(), args);
    const BOOL ok = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
    toChild_ = toChild;
    fromChild_ = fromChild;
    if (!ok) return false;
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    return readLine() == "ready";
}

std::string EmulatorProcess::readLine() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerTimeoutMs);
    for (;;) {
        auto nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (std::chrono::steady_clock::now() > deadline) return "<no answer>";
        DWORD available = 0;
        if (!::PeekNamedPipe(fromChild_, nullptr, 0, nullptr, &available, nullptr)) return "<closed>";
        if (available == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        char chunk[1024];
        DWORD n = 0;
        if (!::ReadFile(fromChild_, chunk, sizeof chunk, &n, nullptr) || n == 0) return "<closed>";
        buffered_.append(chunk, n);
    }
}

std::string EmulatorProcess::command(const std::string &line) {
    std::string l = line + "\n";
    DWORD n = 0;
    if (!::WriteFile(toChild_, l.data(), static_cast<DWORD>(l.size()), &n, nullptr)) return "<closed>";
    return readLine();
}

int EmulatorProcess::stop() {
    if (!process_) return -1;
    command("quit");
    ::CloseHandle(toChild_);
    ::WaitForSingleObject(process_, kAnswerTimeoutMs);
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process_, &code);
    ::CloseHandle(fromChild_);
    ::CloseHandle(process_);
    process_ = nullptr;
    return static_cast<int>(code);
}

void EmulatorProcess::kill() {
    if (!process_) return;
    ::TerminateProcess(process_, 9);
    ::WaitForSingleObject(process_, kAnswerTimeoutMs);
    ::CloseHandle(toChild_);
    ::CloseHandle(fromChild_);
    ::CloseHandle(process_);
    process_ = nullptr;
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args) {
    RunResult result;
    const std::string outPath = tempName("cvo"), errPath = tempName("cve");
    HANDLE out = inheritableFile(outPath, true), err = inheritableFile(errPath, true);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE in = ::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
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
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    ::DeleteFileA(outPath.c_str());
    ::DeleteFileA(errPath.c_str());
    return result;
}

} // namespace corvil::testing
