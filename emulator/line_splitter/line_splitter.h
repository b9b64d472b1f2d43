// Bytes read from a stream, in whatever pieces they came, cut into lines: a
// line ends at a newline, and a carriage return just before it goes with it.
// For corvil-emulator's command input and for the programs that read its
// answers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace corvil {

class LineSplitter {
public:
    void add(const char *data, std::size_t size) { pending_.append(data, size); }

    // The next whole line without its line end; nothing until one is complete.
    std::optional<std::string> next() {
        const std::size_t newline = pending_.find('\n');
        if (newline == std::string::npos) return std::nullopt;
        std::string line = pending_.substr(0, newline);
        pending_.erase(0, newline + 1);
        return withoutReturn(std::move(line));
    }

    // At the end of input: what follows the last newline, as a last line;
    // nothing when nothing does.
    std::optional<std::string> rest() {
        if (pending_.empty()) return std::nullopt;
        return withoutReturn(std::exchange(pending_, {}));
    }

    void clear() { pending_.clear(); }

private:
    static std::string withoutReturn(std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    std::string pending_;
};

} // namespace corvil
