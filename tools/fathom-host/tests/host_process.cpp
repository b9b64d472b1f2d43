#include "host_process.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace fathom_host::testing {

namespace {
// Generous: Wine on a busy 2-core machine can be slow to start a program,
// and a command may wait for a dialog.
constexpr auto kAnswerTimeout = std::chrono::seconds(90);
} // namespace

HostProcess::~HostProcess() {
    if (!process_) return;
    ::TerminateProcess(process_, 9);
    ::WaitForSingleObject(process_, 30000);
    ::CloseHandle(toChild_);
    ::CloseHandle(fromChild_);
    ::CloseHandle(process_);
}

bool HostProcess::start(const std::string &program, const std::vector<std::string> &args) {
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
    std::string line = "\"" + program + "\" --script -";
    for (const std::string &a : args) line += " \"" + a + "\"";
    PROCESS_INFORMATION pi{};
    const BOOL ok = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
    toChild_ = toChild;
    fromChild_ = fromChild;
    if (!ok) return false;
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    return true;
}

std::string HostProcess::readLine() {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    for (;;) {
        const auto nl = buffered_.find('\n');
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

std::string HostProcess::command(const std::string &line) {
    if (!process_) return "<not running>";
    const std::string l = line + "\n";
    DWORD n = 0;
    if (!::WriteFile(toChild_, l.data(), static_cast<DWORD>(l.size()), &n, nullptr)) return "<closed>";
    for (;;) {
        std::string answer = readLine();
        if (answer.rfind("message: ", 0) != 0) return answer;
        messages_.push_back(answer.substr(9));
    }
}

std::vector<std::string> HostProcess::takeMessages() {
    std::vector<std::string> taken;
    taken.swap(messages_);
    return taken;
}

int HostProcess::quit() {
    if (!process_) return -1;
    command("quit");
    ::CloseHandle(toChild_);
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process_, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process_, &code);
    else ::TerminateProcess(process_, 9);
    ::CloseHandle(fromChild_);
    ::CloseHandle(process_);
    process_ = nullptr;
    return static_cast<int>(code);
}

} // namespace fathom_host::testing
