// Test stand-ins for the plug-in's seams: an in-memory registry whose keys
// and values the test sees and can make fail, and a log that keeps its lines.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "seams.h"

namespace corvil::plugin::fakes {

class FakeRegistry : public Registry {
public:
    std::map<std::string, std::map<std::string, std::string>> keys; // path -> name -> stored bytes
    std::set<std::string> refuseCreate;                              // paths that cannot be created
    long openError = 2, valueError = 2, moreDataError = 234, createError = 5;
    int openKeys = 0;

    long open(const std::string &path, Key &key) override {
        auto it = keys.find(path);
        if (it == keys.end()) return openError;
        key = &it->second;
        ++openKeys;
        return 0;
    }
    long create(const std::string &path, Key &key) override {
        if (refuseCreate.count(path)) return createError;
        key = &keys[path];
        ++openKeys;
        return 0;
    }
    long query(Key key, const std::string &name, char *out, std::uint32_t &size) override {
        auto &values = *static_cast<std::map<std::string, std::string> *>(key);
        auto it = values.find(name);
        if (it == values.end()) return valueError;
        if (it->second.size() > size) return moreDataError;
        std::memcpy(out, it->second.data(), it->second.size());
        size = static_cast<std::uint32_t>(it->second.size());
        return 0;
    }
    long setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) override {
        (*static_cast<std::map<std::string, std::string> *>(key))[name] = std::string(text, bytes);
        return 0;
    }
    void close(Key) override { --openKeys; }
};

class RecordingLog : public Log {
public:
    std::vector<std::string> lines;
    void log(std::int32_t level, const std::string &line) override {
        lines.push_back((level == kLogLevel ? "" : "level " + std::to_string(level) + ": ") + line);
    }
};

} // namespace corvil::plugin::fakes
