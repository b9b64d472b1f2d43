#include "emulator_process.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

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
    child_.finish(std::chrono::milliseconds(kAnswerTimeoutMs));
}

bool EmulatorProcess::running() const { return child_.running(); }

bool EmulatorProcess::start(const std::vector<std::string> &args) {
    return child_.start(commandLine(CORVIL_EMULATOR_PATH, args)) && readLine() == "ready";
}

std::string EmulatorProcess::readLine() { return child_.readLine(std::chrono::milliseconds(kAnswerTimeoutMs)); }

std::string EmulatorProcess::command(const std::string &line) {
    if (!child_.writeLine(line)) return "<closed>";
    return readLine();
}

void EmulatorProcess::kill() { child_.kill(); }

void EmulatorProcess::freeze(bool frozen) { child_.suspend(frozen); }

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
