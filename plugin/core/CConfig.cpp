#include "CConfig.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvil::plugin {

namespace {
constexpr std::size_t kMaxKeyPath = 1023;

// A stored number as a coordinate: numbers beyond the 32-bit range take its
// nearest end instead of wrapping to the other sign.
std::int32_t toCoordinate(long long value) {
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

void copyDefault(const char *text, char *out, std::uint32_t size) {
    if (!out || size == 0) return;
    std::strncpy(out, text ? text : "", size - 1);
    out[size - 1] = '\0';
}
} // namespace

void CConfig::Init(const char *section, const char *root) {
    root_ = root ? root : "";
    // Cut to the 512-byte field: a longer root and section cannot overrun it.
    std::snprintf(basePath_, sizeof basePath_, "%s\\%s\\", root ? root : "", section ? section : "");
    log_(kLogLevel, "CConfig::Init, base=\"%s\"\n", basePath_);
}

std::string CConfig::keyPath(const char *subkey) const {
    std::string path = std::string(basePath_) + (subkey ? subkey : "");
    if (path.size() > kMaxKeyPath) path.resize(kMaxKeyPath);
    return path;
}

void CConfig::GetCfgStr(const char *subkey, const char *name, const char *defaultText, char *out,
                        std::uint32_t size) {
    const std::string path = keyPath(subkey);
    Registry::Key key = nullptr;
    if (long error = registry_.open(Registry::Hive::CurrentUser, path, key); error != 0) {
        log_(kLogLevel, "CConfig::GetCfgStr, could not open key \"%s\", error=%ld\n", path.c_str(), error);
        copyDefault(defaultText, out, size);
        return;
    }
    std::uint32_t got = size;
    if (long error = registry_.query(key, name, out, got); error != 0) {
        log_(kLogLevel, "CConfig::GetCfgStr, could not get valued for key \"%s\", entry=\"%s\", error=%ld\n", path.c_str(), name,
            error);
        registry_.close(key);
        copyDefault(defaultText, out, size);
        return;
    }
    registry_.close(key);
    // Stored bytes need not end in a NUL (any value type is read): the text
    // ends within the buffer all the same.
    if (size > 0) out[got < size ? got : size - 1] = '\0';
}

void CConfig::SetCfgVal(const char *subkey, const char *name, const char *text) {
    const std::string path = keyPath(subkey);
    Registry::Key key = nullptr;
    if (long error = registry_.create(Registry::Hive::CurrentUser, path, key); error != 0) {
        log_(kLogLevel, "CConfig::SetCfgVal, could not open key \"%s\", error=%ld\n", path.c_str(), error);
        return;
    }
    const auto bytes = static_cast<std::uint32_t>(std::strlen(text) + 1);
    if (long error = registry_.setString(key, name, text, bytes); error != 0)
        log_(kLogLevel, "CConfig::SetCfgVal, could not set value for key \"%s\", entry=\"%s\", error=%ld\n", path.c_str(), name,
            error);
    registry_.close(key);
}

std::int32_t CConfig::GetCfgInt(const char *subkey, const char *name, std::int32_t defaultValue) {
    char defaultText[16];
    std::snprintf(defaultText, sizeof defaultText, "%d", static_cast<int>(defaultValue));
    char text[256];
    GetCfgStr(subkey, name, defaultText, text, sizeof text);
    // Unsigned with automatic base; the low 32 bits are the value, so a
    // negative number written by SetCfgInt reads back unchanged.
    const unsigned long long value = std::strtoull(text, nullptr, 0);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

void CConfig::SetCfgInt(const char *subkey, const char *name, std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    SetCfgVal(subkey, name, text);
}

Rect parseControlRect(const char *text) {
    Rect r{-1, -1, -1, -1};
    if (!text || !*text) return r;
    std::int32_t *fields[4] = {&r.left, &r.top, &r.right, &r.bottom};
    int field = 0;
    const char *p = text;
    while (*p && field < 4) {
        while (*p == ',' || *p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        const char *start = p;
        while (*p && *p != ',' && *p != ' ' && *p != '\t') ++p;
        const std::string token(start, p);
        *fields[field++] = toCoordinate(std::strtoll(token.c_str(), nullptr, 10));
    }
    // Moved in 64 bits: an edge far out (a damaged or hand-edited value)
    // must not wrap the far edge round to the other side.
    if (r.left < 0) {
        r.right = toCoordinate(static_cast<long long>(r.right) - r.left);
        r.left = 0;
    }
    if (r.top < 0) {
        r.bottom = toCoordinate(static_cast<long long>(r.bottom) - r.top);
        r.top = 0;
    }
    return r;
}

} // namespace corvil::plugin
