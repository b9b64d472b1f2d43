// The scripted mode's lines: a command line split into words (double quotes
// keep blanks inside a word), and texts quoted for result lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fathom_host {

// Splits at blanks and tabs. A double-quoted stretch belongs to the word it
// stands in (name="Desk A" is the word name=Desk A); inside quotes a
// backslash takes the next character as it is. False, with the reason, for
// an unterminated quote.
bool splitWords(const std::string &line, std::vector<std::string> &words, std::string &error);

// A text as a result line shows it: in double quotes, with quotes,
// backslashes and control characters escaped.
std::string quoted(const std::string &text);

// A whole decimal number within [low, high], optionally signed.
std::optional<std::int64_t> parseNumber(const std::string &word, std::int64_t low, std::int64_t high);

// "key=value" words: the value when the word starts with key and '='.
std::optional<std::string> keyValue(const std::string &word, const std::string &key);

} // namespace fathom_host
