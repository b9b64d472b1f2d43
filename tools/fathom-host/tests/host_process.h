// fathom-host.exe as a child process in its scripted mode: one command line
// in, its result line out, with the message lines it printed meanwhile kept
// apart. It inherits this process's environment (the emulators' rendezvous,
// the log file).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "line_child.h"

namespace fathom_host::testing {

class HostProcess {
public:
    // Starts `program --script - ARGS...`.
    bool start(const std::string &program, const std::vector<std::string> &args) {
        std::string line = "\"" + program + "\" --script -";
        for (const std::string &a : args) line += " \"" + a + "\"";
        return child_.start(line);
    }
    // The result line of one command; "message: " lines before it are kept.
    std::string command(const std::string &line) {
        if (!child_.writeLine(line)) return "<closed>";
        for (;;) {
            // Generous: Wine on a busy 2-core machine can be slow to start a
            // program, and a command may wait for a dialog.
            std::string answer = child_.readLine(std::chrono::seconds(90));
            if (answer.rfind("message: ", 0) != 0) return answer;
            messages_.push_back(answer.substr(9));
        }
    }
    // The messages shown since the last call, without their "message: ".
    std::vector<std::string> takeMessages() { return std::exchange(messages_, {}); }
    // Sends "quit" and waits for the end; the exit code (-1 when not running).
    int quit() {
        command("quit");
        return child_.finish(std::chrono::seconds(60));
    }

private:
    corvil::testing::LineChild child_; // not copyable, nor then is the host
    std::vector<std::string> messages_;
};

} // namespace fathom_host::testing
