// The scripted mode: one command a line (from a file or standard input), one
// result line each on standard output, flushed at once. Whatever the plug-in
// asks the host to show comes out as its own "message: " line instead of a
// box, and its dialogs are answered by a watcher, so a script never blocks.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "window_tools.h"

namespace fathom_host {

class MainWindow;

// The command words, as --help and the README list them.
extern const char kScriptCommands[];

// Lines read on their own thread, so that the window thread keeps
// dispatching messages while the next line is awaited.
class LineQueue {
public:
    LineQueue();
    ~LineQueue();
    // Reads `source` ("-" for standard input) to its end on a new thread.
    bool start(const std::string &source, std::string &error);
    std::optional<std::string> pop();
    bool ended();
    HANDLE event() const { return event_; } // signalled when a line or the end arrives

private:
    std::mutex mutex_;
    std::deque<std::string> lines_;
    bool ended_ = false;
    HANDLE event_;
};

class ScriptSession : public HostUser {
public:
    explicit ScriptSession(std::FILE *out) : out_(out) {}
    void attach(Host &host, MainWindow &window) {
        host_ = &host;
        window_ = &window;
    }
    // Runs the lines to their end or to "quit", then shuts the host down.
    // The exit status: 0, or 1 when a command answered with an error.
    int run(LineQueue &lines);
    // One command line; its result line (empty for blank and comment lines).
    std::string execute(const std::string &line);

    int showMessage(const std::string &text, std::uint32_t style) override;
    void requestConfigure(std::int32_t unitId) override;

private:
    // One command line's words, and what the command needs found first.
    struct Call {
        const std::vector<std::string> &w;
        std::size_t n;
        std::int32_t unit = 0; // the unit the second word names
        HWND window = nullptr; // that unit's window
    };
    void emit(const std::string &line);
    std::string command(const std::vector<std::string> &words);
    std::string quit(Call &c);
    std::string create(Call &c);
    std::string units(Call &c);
    std::string release(Call &c);
    std::string loadOrSave(Call &c);
    std::string plugin(Call &c);
    std::string enumerate(Call &c);
    std::string add(Call &c);
    std::string tick(Call &c);
    std::string wait(Call &c);
    std::string windows(Call &c);
    std::string shot(Call &c);
    std::string remove(Call &c);
    std::string configureUnit(Call &c);
    std::string routing(Call &c);
    std::string setRouting(Call &c);
    std::string windowSlot(Call &c);
    std::string info(Call &c);
    std::string show(Call &c);
    std::string click(Call &c);
    std::string level(Call &c);
    std::string key(Call &c);
    std::string menu(Call &c);
    std::string menuConfigure(Call &c);
    std::string menuAbout(Call &c);
    std::string move(Call &c);
    std::string scroll(Call &c);
    std::optional<std::int32_t> unit(const std::string &word, std::string &error);
    HWND unitWindow(std::int32_t id, std::string &error);
    std::string configure(std::int32_t id, const DialogPlan &plan);
    std::string waitFor(int ms);

    std::FILE *out_;
    Host *host_ = nullptr;
    MainWindow *window_ = nullptr;
    bool failed_ = false;
    // The dialog plan for a configuration the plug-in asks for through the
    // host (a unit window's "Configure"), and what came of it.
    std::optional<DialogPlan> requestPlan_;
    std::optional<std::string> requestOutcome_;
};

} // namespace fathom_host
