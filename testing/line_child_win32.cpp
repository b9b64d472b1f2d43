#include "line_child.h"

#include <windows.h>

#include <thread>

namespace corvil::testing {

LineChild::~LineChild() { kill(); }

bool LineChild::start(const std::string &commandLine) {
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
    std::string line = commandLine;
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
    return true;
}

bool LineChild::writeLine(const std::string &line) {
    const std::string l = line + "\n";
    DWORD n = 0;
    return toChild_ && ::WriteFile(toChild_, l.data(), static_cast<DWORD>(l.size()), &n, nullptr);
}

std::string LineChild::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (std::optional<std::string> line = lines_.next()) return *line;
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
        lines_.add(chunk, n);
    }
}

int LineChild::finish(std::chrono::milliseconds timeout) {
    if (!process_) return -1;
    ::CloseHandle(toChild_);
    toChild_ = nullptr;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process_, &code);
    else
        ::TerminateProcess(process_, 9);
    release();
    return static_cast<int>(code);
}

void LineChild::kill() {
    if (process_) {
        ::TerminateProcess(process_, 9);
        ::WaitForSingleObject(process_, 30000);
    }
    release();
}

void LineChild::suspend(bool suspended) {
    using Call = LONG(WINAPI *)(HANDLE);
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    auto call = reinterpret_cast<Call>(
        reinterpret_cast<void *>(::GetProcAddress(ntdll, suspended ? "NtSuspendProcess" : "NtResumeProcess")));
    if (call && process_) call(process_);
}

void LineChild::release() {
    for (void **h : {&process_, &toChild_, &fromChild_}) {
        if (*h) ::CloseHandle(*h);
        *h = nullptr;
    }
    lines_.clear();
}

} // namespace corvil::testing
