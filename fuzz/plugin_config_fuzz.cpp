// What the plug-in takes from the host and the registry: a unit address, the
// stored "controlrect", integers with automatic base, and string values of
// any bytes read into buffers of any size, through a registry whose one
// value is the fuzz data.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "CConfig.h"
#include "CCorvilPlugin.h"

using namespace corvil::plugin;

namespace {

// A registry holding one value of the key it is asked for.
class OneValueRegistry : public Registry {
public:
    std::string value;
    long openError = 0, queryError = 0;
    int openKeys = 0;
    long open(Hive, const std::string &, Key &key) override {
        if (openError) return openError;
        ++openKeys;
        key = this;
        return 0;
    }
    long create(Hive hive, const std::string &path, Key &key) override { return open(hive, path, key); }
    long query(Key, const std::string &, char *out, std::uint32_t &size) override {
        if (queryError) return queryError;
        // As the system does: a value that does not fit is refused (234,
        // more data), one that fits is copied with its stored size.
        if (value.size() > size) {
            size = static_cast<std::uint32_t>(value.size());
            return 234;
        }
        if (!value.empty()) std::memcpy(out, value.data(), value.size());
        size = static_cast<std::uint32_t>(value.size());
        return 0;
    }
    long setString(Key, const std::string &, const char *, std::uint32_t) override { return 0; }
    void close(Key) override { --openKeys; }
    long remove(Hive, const std::string &) override { return 0; }
};

void log(std::int32_t, const char *format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint32_t room = in.ConsumeIntegralInRange<std::uint32_t>(0, 300);
    const std::uint8_t errors = in.ConsumeIntegral<std::uint8_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();

    std::string serial;
    parseAddress(text.c_str(), serial);
    if (serial.size() > 5) __builtin_trap();
    parseControlRect(text.c_str());

    OneValueRegistry registry;
    registry.value = text;
    registry.openError = (errors & 0x0F) == 1 ? 2 : 0;
    registry.queryError = (errors & 0xF0) == 0x10 ? 2 : 0;
    CConfig config(registry, &log);
    config.Init("TL Corvil", "Software\\Orlo\\FathomLive");
    config.GetCfgInt("Unit 1", "controlscrollx", 0);
    // Exactly `room` bytes, so that a write past the caller's buffer is caught.
    std::unique_ptr<char[]> out(room ? new char[room] : nullptr);
    config.GetCfgStr("Unit 1", "controlrect", "-1,-1,-1,-1", out.get(), room);
    if (room && !std::memchr(out.get(), '\0', room)) __builtin_trap(); // the text ends within the buffer
    if (room) parseControlRect(out.get());
    if (registry.openKeys != 0) __builtin_trap();
    return 0;
}
