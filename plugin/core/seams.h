// What the plug-in's logic needs of its surroundings, each as a small
// interface: the registry, the host's log and the file path of the loaded
// module. The Windows shell provides the real ones; tests substitute their
// own.
#pragma once

#include <cstdint>
#include <string>

#include "eq_abi.h"

namespace corvil::plugin {

// The registry. Results are the platform's error codes (0: success).
class Registry {
public:
    enum class Hive { CurrentUser, ClassesRoot };
    using Key = void *;
    virtual ~Registry() = default;
    virtual long open(Hive hive, const std::string &path, Key &key) = 0;   // for reading
    virtual long create(Hive hive, const std::string &path, Key &key) = 0; // create or open, full access
    // Reads the value's bytes, whatever its type, into `out`; `size` is the
    // room on entry and the bytes read on return.
    virtual long query(Key key, const std::string &name, char *out, std::uint32_t &size) = 0;
    // Writes a string value of `bytes` bytes; an empty name is the key's
    // default value.
    virtual long setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) = 0;
    virtual void close(Key key) = 0;
    // Deletes a key that has no subkeys.
    virtual long remove(Hive hive, const std::string &path) = 0;
};

// The host's log entry point, FMLOG.dll's `_log`: a level, then a format
// text and its arguments. Texts that come from outside (a host's key path)
// are always arguments, never part of the format.
using LogEntry = void(EQ_CDECL *)(std::int32_t level, const char *format, ...);

// The level of every line the plug-in logs.
inline constexpr std::int32_t kLogLevel = 128;

// The full file path of the loaded module of that name in this process;
// false when there is none or its path does not fit `size` bytes.
class ModulePath {
public:
    virtual ~ModulePath() = default;
    virtual bool find(const char *moduleName, std::string &path, std::uint32_t size) = 0;
};

} // namespace corvil::plugin
