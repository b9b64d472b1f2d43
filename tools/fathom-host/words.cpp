#include "words.h"

#include <cstdio>

namespace fathom_host {

bool splitWords(const std::string &line, std::vector<std::string> &words, std::string &error) {
    words.clear();
    std::string word;
    bool inWord = false, inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c == '"') {
                inQuotes = false;
            } else if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '"') {
            inQuotes = inWord = true; // "" is an empty word
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inQuotes) {
        error = "unterminated quote";
        return false;
    }
    if (inWord) words.push_back(word);
    return true;
}

std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::optional<std::int64_t> parseNumber(const std::string &word, std::int64_t low, std::int64_t high) {
    std::size_t i = 0;
    bool negative = false;
    if (i < word.size() && (word[i] == '-' || word[i] == '+')) negative = word[i++] == '-';
    if (i == word.size() || word.size() - i > 12) return std::nullopt;
    std::int64_t value = 0;
    for (; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9') return std::nullopt;
        value = value * 10 + (word[i] - '0');
    }
    if (negative) value = -value;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<std::string> keyValue(const std::string &word, const std::string &key) {
    if (word.size() > key.size() && word.compare(0, key.size(), key) == 0 && word[key.size()] == '=')
        return word.substr(key.size() + 1);
    return std::nullopt;
}

} // namespace fathom_host
