// Test support on Windows: a child program spoken to a line at a time
// through its standard input and output (its errors go where ours go).
#pragma once

#include <chrono>
#include <string>

#include "line_splitter.h"

namespace corvil::testing {

class LineChild {
public:
    LineChild() = default;
    ~LineChild(); // a child still running is ended at once
    LineChild(const LineChild &) = delete;
    LineChild &operator=(const LineChild &) = delete;

    bool start(const std::string &commandLine);
    bool running() const { return process_ != nullptr; }
    bool writeLine(const std::string &line);
    // The next line without its line end; "<no answer>" after the timeout,
    // "<closed>" when the child's output ended.
    std::string readLine(std::chrono::milliseconds timeout);
    // Closes the child's input and waits for its end: its exit code, or -1
    // when it had to be ended.
    int finish(std::chrono::milliseconds timeout);
    void kill();
    // Stops every thread of the child, or lets them run again.
    void suspend(bool suspended);

private:
    void release();
    void *process_ = nullptr, *toChild_ = nullptr, *fromChild_ = nullptr;
    LineSplitter lines_;
};

} // namespace corvil::testing
