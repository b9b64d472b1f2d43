// Lines from bytes that come in pieces, as the emulator and its test
// programs read them.
#include <gtest/gtest.h>

#include <vector>

#include "line_splitter.h"

namespace {

TEST(LineSplitter, LinesAcrossAndWithinReadsCrLfAndALastLineWithoutItsNewline) {
    corvil::LineSplitter lines;
    auto read = [&](const std::string &bytes) {
        lines.add(bytes.data(), bytes.size());
        std::vector<std::string> whole;
        while (std::optional<std::string> line = lines.next()) whole.push_back(*line);
        return whole;
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(read("state 0\r\nrou"), Lines{"state 0"});
    EXPECT_EQ(read("te 0 "), Lines{}) << "half a line waits for the rest";
    EXPECT_EQ(read("1 2\n\na\rb\nqu"), (Lines{"route 0 1 2", "", "a\rb"})) << "only a return before the newline goes";
    EXPECT_EQ(read("it\r"), Lines{});
    EXPECT_EQ(lines.rest(), "quit") << "the last line, though no newline followed it";
    EXPECT_EQ(lines.rest(), std::nullopt);
}

} // namespace
