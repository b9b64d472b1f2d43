// The library's reading of units, over fake units whose answers are the fuzz
// data: up to three interfaces (ids, report lengths, detail sizes, open and
// read failures), each with its queued input reports and its serial-number
// feature answer. Discovery runs as FindFirstCorvil/FindNextCorvil do, then
// every read operation (and the writes, whose reports must fit the lengths
// the unit declared) on every unit found.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "fake_platform.h"
#include "library_operations.h"

using namespace corvhid;

namespace {

std::vector<std::uint8_t> bytes(FuzzedDataProvider &in, std::size_t most) {
    return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, most));
}

Transfer transfer(FuzzedDataProvider &in) {
    const int pick = in.ConsumeIntegralInRange<int>(0, 7); // mostly completed
    return pick == 0 ? Transfer::TimedOut : pick == 1 ? Transfer::NotStarted : Transfer::Completed;
}

void describeInterface(FuzzedDataProvider &in, FakeInterface &i) {
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    i.opens = !(flags & 0x01);
    i.secondOpenFails = flags & 0x02;
    i.attributesReadable = !(flags & 0x04);
    i.capsReadable = !(flags & 0x08);
    i.featureGetOk = !(flags & 0x10);
    i.featureSetOk = !(flags & 0x20);
    if (flags & 0x40) {
        // Mostly a Corvil, so that the operations run; otherwise any ids.
        i.vendorId = in.ConsumeIntegral<std::uint16_t>();
        i.productId = in.ConsumeIntegral<std::uint16_t>();
    }
    i.versionNumber = in.ConsumeBool() ? in.ConsumeIntegral<std::uint16_t>() : 256;
    i.lengths.input = in.ConsumeIntegralInRange<std::uint16_t>(0, in.ConsumeBool() ? 0xFFFF : 12);
    i.lengths.output = in.ConsumeIntegralInRange<std::uint16_t>(0, in.ConsumeBool() ? 0xFFFF : 12);
    i.namesNoDevice = flags & 0x80;
    i.readFailure = transfer(in);
    i.writeOutcome = transfer(in);
    i.feature = bytes(in, 10);
    if (in.ConsumeBool()) i.standing = bytes(in, 10);
    for (int n = in.ConsumeIntegralInRange<int>(0, 24); n > 0 && in.remaining_bytes(); --n)
        i.inputQueue.push_back(bytes(in, 12));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    FakePlatform fake;
    const int count = in.ConsumeIntegralInRange<int>(1, 3);
    for (int n = 0; n < count; ++n) describeInterface(in, fake.add("/fake/" + std::to_string(n)));
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) fake.allocationsUntilFailure = in.ConsumeIntegralInRange<int>(0, 4);

    Library lib(fake);
    std::vector<std::int16_t> units;
    std::int16_t unit = -1;
    for (Result found = lib.findFirst(&unit); found == kSuccess; found = lib.findNext(&unit)) units.push_back(unit);
    lib.doneFinding();
    units.push_back(static_cast<std::int16_t>(in.ConsumeIntegralInRange<int>(-2, 4))); // perhaps not a unit
    char errorText[kErrorTextSize];
    for (std::int16_t u : units) {
        for (int round = in.ConsumeIntegralInRange<int>(1, 3); round > 0; --round) runOperation(in, lib, u);
        lib.getErrorText(errorText);
    }
    lib.cleanup();
    // Whatever the units said, nothing the library took stays taken.
    if (!fake.openHandles.empty() || fake.liveAllocations != 0 || fake.listing || fake.devicesReady)
        __builtin_trap();
    return 0;
}
