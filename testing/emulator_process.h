// Stand-in for the unit itself: corvil-emulator as a child process, behind
// the virtual transport, so every program meets it as it would the device;
// its own private rendezvous, spoken to through its command language.
#pragma once

#include <string>
#include <vector>

#include "line_splitter.h"

namespace corvil::testing {

// Points this process's rendezvous at a fresh private directory, so that the
// library and the emulators it starts meet there and nowhere else.
void usePrivateRendezvous();

class EmulatorProcess {
public:
    EmulatorProcess() = default;
    explicit EmulatorProcess(const std::vector<std::string> &args) { start(args); }
    ~EmulatorProcess(); // sends "quit" and waits for the exit
    EmulatorProcess(const EmulatorProcess &) = delete;
    EmulatorProcess &operator=(const EmulatorProcess &) = delete;

    // Starts the emulator and waits for its "ready"; false when it did not come.
    bool start(const std::vector<std::string> &args);
    // Sends one command line and returns the answer line.
    std::string command(const std::string &line);
    bool running() const;
    // Ends the emulator at once, as a crash would: its rendezvous entries stay.
    void kill();
    // Stops the emulator where it is (its units take nothing and answer
    // nothing), or lets it go on.
    void freeze(bool frozen);

private:
    // The next answer line; "<no answer>" after the timeout, "<closed>" when
    // the emulator's output ended.
    std::string readLine();
#if defined(_WIN32)
    void release();
    void *process_ = nullptr, *toChild_ = nullptr, *fromChild_ = nullptr;
#else
    void reap();
    int pid_ = -1, toChild_ = -1, fromChild_ = -1;
#endif
    LineSplitter answers_;
};

// Runs a program to its end and returns its exit code, with what it printed
// (on Windows: the tests that register the plug-in).
struct RunResult {
    int exitCode = -1;
    std::string out, err;
};
RunResult runProgram(const std::string &program, const std::vector<std::string> &args);

} // namespace corvil::testing
