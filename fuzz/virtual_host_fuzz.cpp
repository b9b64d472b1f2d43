// The host side of the virtual transport: the library over the virtual
// platform, whose unit says whatever the fuzz data says. In place of the
// system's sockets, a channel hands out the data's messages (a length byte,
// then that many bytes) on every connection in turn; each hello, input
// report, caught-up mark and feature answer is read from there, and the
// counts of reports taken it is sent may find no room.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "library_operations.h"
#include "virtual/channel.h"
#include "virtual/virtual_platform.h"
#include "wire.h"

namespace {

FuzzedDataProvider *gInput = nullptr;
const std::string kEntry = "/fuzz/corvil/unit0";

class FuzzChannel : public corvhid::virt::Channel {
public:
    corvhid::virt::Io send(const std::vector<std::uint8_t> &message, int) override {
        if (message.empty() || message.size() > corvhid::wire::kMaxMessage) __builtin_trap();
        const int fate = gInput->remaining_bytes() ? gInput->ConsumeIntegralInRange<int>(0, 63) : 2;
        return fate == 0 ? corvhid::virt::Io::Closed : fate == 1 ? corvhid::virt::Io::TimedOut : corvhid::virt::Io::Ok;
    }
    corvhid::virt::Io receive(std::vector<std::uint8_t> &message, int) override {
        if (!gInput->remaining_bytes()) return corvhid::virt::Io::TimedOut;
        const std::uint8_t length = gInput->ConsumeIntegral<std::uint8_t>();
        if (length == 0xFF) return corvhid::virt::Io::Closed;
        if (length == 0xFE) return corvhid::virt::Io::TimedOut;
        message = gInput->ConsumeBytes<std::uint8_t>(length);
        return corvhid::virt::Io::Ok;
    }
};

} // namespace

// The rendezvous, as the fuzz run has it: one unit, always there.
namespace corvhid::virt {
std::unique_ptr<Channel> connect(const std::string &entry) {
    if (entry != kEntry) return nullptr;
    return std::make_unique<FuzzChannel>();
}
std::string rendezvousPlace(bool, std::string *) { return "/fuzz/corvil"; }
std::vector<std::string> listEntries() { return {kEntry}; }
bool isEntry(const std::string &path) { return path == kEntry; }
std::string entryName(unsigned long, unsigned index) { return "unit" + std::to_string(index); }
std::string entryPath(const std::string &place, const std::string &name) { return place + "/" + name; }
} // namespace corvhid::virt

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    gInput = &in;

    // The hello on its own as well: whatever it says, the lengths it lets
    // through fit a report.
    if (auto hello = corvhid::wire::decodeHello(std::vector<std::uint8_t>(data, data + std::min<std::size_t>(size, 11))))
        if (hello->inputLength > corvhid::wire::kMaxReportLength || hello->outputLength > corvhid::wire::kMaxReportLength)
            __builtin_trap();

    corvhid::VirtualPlatform platform;
    corvhid::Library lib(platform);
    std::int16_t unit = -1;
    const bool found = lib.findFirst(&unit) == corvhid::kSuccess;
    lib.doneFinding();
    if (found)
        while (in.remaining_bytes()) runOperation(in, lib, unit);
    lib.cleanup();
    gInput = nullptr;
    return 0;
}
