// What the plug-in's logic needs of its surroundings, each as a small
// interface: the registry under the current user's hive, and the host's log.
// The Windows shell provides the real ones; tests substitute their own.
#pragma once

#include <cstdint>
#include <string>

namespace corvil::plugin {

// The current user's registry hive. Results are the platform's error codes
// (0: success).
class Registry {
public:
    using Key = void *;
    virtual ~Registry() = default;
    virtual long open(const std::string &path, Key &key) = 0;   // for reading
    virtual long create(const std::string &path, Key &key) = 0; // create or open for writing
    // Reads the value's bytes, whatever its type, into `out`; `size` is the
    // room on entry and the bytes read on return.
    virtual long query(Key key, const std::string &name, char *out, std::uint32_t &size) = 0;
    // Writes a string value of `bytes` bytes (its terminating NUL included).
    virtual long setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) = 0;
    virtual void close(Key key) = 0;
};

// The host's log: a level and one formatted line.
class Log {
public:
    virtual ~Log() = default;
    virtual void log(std::int32_t level, const std::string &line) = 0;
};

// The level of every line the plug-in logs.
inline constexpr std::int32_t kLogLevel = 128;

} // namespace corvil::plugin
