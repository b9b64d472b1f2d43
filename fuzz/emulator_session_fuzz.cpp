// The unit side of the virtual transport: a session of an emulated unit
// taking whatever messages a host sends (a length byte, then the message),
// with the unit's own reports, the passing of time and a channel that fills
// up and fails in between. Every message must fit one datagram.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "session.h"
#include "unit_model.h"

using namespace corvil::emulator;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    UnitConfig config;
    // The report lengths the emulator's options accept.
    config.inputLength = in.ConsumeIntegralInRange<std::uint16_t>(5, corvhid::wire::kMaxReportLength);
    config.outputLength = in.ConsumeIntegralInRange<std::uint16_t>(5, corvhid::wire::kMaxReportLength);
    config.reportPeriodMs = in.ConsumeIntegralInRange<int>(1, 100);
    std::int64_t now = 0;
    UnitModel unit(config, now);
    // The channel: taking messages, full, or failed.
    Session::Sent channel = Session::Sent::Ok;
    Session session(unit, [&](const UnitModel::Report &answer) {
        if (answer.empty() || answer.size() > corvhid::wire::kMaxMessage) __builtin_trap();
        return channel;
    });
    unit.onReport = [&](const UnitModel::Report &report) { session.onReport(report); };

    while (in.remaining_bytes()) {
        const std::uint8_t what = in.ConsumeIntegral<std::uint8_t>();
        if (what < 8) {
            now += in.ConsumeIntegralInRange<int>(0, 5000);
            unit.advance(now);
        } else if (what < 10) {
            unit.sendRaw(in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 80)));
        } else if (what == 10) {
            channel = static_cast<Session::Sent>((static_cast<int>(channel) + 1) % 3);
            if (channel == Session::Sent::Ok) session.onRoom();
        } else {
            const auto message = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegral<std::uint8_t>());
            session.onMessage(message, now);
        }
    }
    unit.describeState();
    unit.describeOutputs();
    return 0;
}
