// corvil-remote's request handling: a request made of the fuzz data (its
// method, target, Host, Origin, Content-Type and Authorization lines, then
// the body) through the checks, the routing and the change's JSON, with and
// without an access token.
#include <cstddef>
#include <cstdint>
#include <string>

#include "api.h"

using namespace corvil::remote;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    std::string fields[6];
    for (std::string &field : fields) {
        const std::size_t end = text.find('\n');
        if (end == std::string::npos) break;
        field = text.substr(0, end);
        text.erase(0, end + 1);
    }
    const Request request{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], text};

    Unit unit{"DEMO1", true, {{3, 0}, {0x04, 0}}, {{0, 0x05}, {0, 0x84}}};
    const std::map<std::string, Unit> units{{unit.serial, unit}, {"OFF\xff\x01", {"OFF\xff\x01", false, {}, {}}}};
    for (bool withToken : {false, true}) {
        Access access{{8049}, {"desk.local"}, {}, {"192.168.1.20", "[fe80::1]"}, false};
        if (withToken) access.token = "0123456789abcdef0123456789abcdef";
        const Api api(access, units, "<!DOCTYPE html>");
        const Outcome outcome = api.route(request);
        if (outcome.kind == Outcome::Change) {
            // What would be written, and the answer once it was.
            const records::Record s = settingsToWrite(unit.settings, outcome.change);
            ChangeResult done{ChangeResult::Done, unit};
            done.unit.settings = settingsAfter(unit.settings, s);
            done.unit.sequencing = sequencingToWrite(unit.sequencing, outcome.change);
            if (api.changed(done).status != 200) __builtin_trap();
        } else if (outcome.kind == Outcome::Respond && outcome.response.status == 200 &&
                   withToken && request.target.rfind("/api/", 0) == 0) {
            // Nothing under /api answers without the token.
            if (request.authorization.find(*access.token) == std::string::npos) __builtin_trap();
        }
    }
    return 0;
}
