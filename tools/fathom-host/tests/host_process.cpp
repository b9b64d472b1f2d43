#include "host_process.h"

namespace fathom_host::testing {

namespace {
// Generous: Wine on a busy 2-core machine can be slow to start a program,
// and a command may wait for a dialog.
constexpr auto kAnswerTimeout = std::chrono::seconds(90);
} // namespace

bool HostProcess::start(const std::string &program, const std::vector<std::string> &args) {
    std::string line = "\"" + program + "\" --script -";
    for (const std::string &a : args) line += " \"" + a + "\"";
    return child_.start(line);
}

std::string HostProcess::command(const std::string &line) {
    if (!child_.running()) return "<not running>";
    if (!child_.writeLine(line)) return "<closed>";
    for (;;) {
        std::string answer = child_.readLine(kAnswerTimeout);
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
    if (!child_.running()) return -1;
    command("quit");
    return child_.finish(std::chrono::seconds(60));
}

} // namespace fathom_host::testing
