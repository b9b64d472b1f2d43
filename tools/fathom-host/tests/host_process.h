// fathom-host.exe as a child process in its scripted mode: one command line
// in, its result line out, with the message lines it printed meanwhile kept
// apart.
#pragma once

#include <string>
#include <vector>

#include "line_child.h"

namespace fathom_host::testing {

class HostProcess {
public:
    HostProcess() = default;
    HostProcess(const HostProcess &) = delete;
    HostProcess &operator=(const HostProcess &) = delete;

    // Starts `program --script - ARGS...`; it inherits this process's
    // environment (the emulators' rendezvous, the log file).
    bool start(const std::string &program, const std::vector<std::string> &args);
    // The result line of one command; "message: " lines before it are kept.
    std::string command(const std::string &line);
    // The messages shown since the last call, without their "message: ".
    std::vector<std::string> takeMessages();
    // Sends "quit" and waits for the end; the exit code.
    int quit();

private:
    corvil::testing::LineChild child_;
    std::vector<std::string> messages_;
};

} // namespace fathom_host::testing
