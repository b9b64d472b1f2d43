// The plug-in's small registry store under the current user's hive: string
// and integer values below a base path the host names; every registry
// failure is logged and otherwise ignored.
#pragma once

#include <cstdint>
#include <string>

#include "seams.h"

namespace corvil::plugin {

class CConfig {
public:
    CConfig(Registry &registry, LogEntry log) : registry_(registry), log_(log) {}

    void Init(const char *section, const char *root);
    void GetCfgStr(const char *subkey, const char *name, const char *defaultText, char *out, std::uint32_t size);
    void SetCfgVal(const char *subkey, const char *name, const char *text);
    std::int32_t GetCfgInt(const char *subkey, const char *name, std::int32_t defaultValue);
    void SetCfgInt(const char *subkey, const char *name, std::int32_t value);

    const char *basePath() const { return basePath_; }

private:
    std::string keyPath(const char *subkey) const;

    Registry &registry_;
    LogEntry log_;
    char basePath_[512] = {};
    std::string root_;
};

// A window rectangle in screen coordinates.
struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    friend bool operator==(const Rect &a, const Rect &b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

// "controlrect" text to a rectangle: missing numbers are -1, and a negative
// left or top edge moves the rectangle onto the screen keeping its size.
Rect parseControlRect(const char *text);

} // namespace corvil::plugin
