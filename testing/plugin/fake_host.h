// A stand-in for the analyser host's callback interface: it records what
// the plug-in asks of it and can re-enter the plug-in from inside each call,
// as a host that keeps dispatching messages does. Needs only the binary
// interface, so the tests of the real DLL use it too.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "eq_abi.h"

namespace corvil::plugin::fakes {

struct FakeHost;
// What the plug-in holds: the interface, and beside it the way back to the host.
struct HostInterface {
    IEqHost iface;
    FakeHost *host;
};

struct FakeHost {
    HostInterface binding{{table()}, this};
    IEqHost &iface = binding.iface;
    FakeHost() = default;
    FakeHost(const FakeHost &) = delete;
    std::set<std::string> usedNames;
    bool allNamesUsed = false;
    std::vector<std::string> messages; // "style: text"
    std::vector<std::int32_t> configureRequests;
    std::function<void(std::int32_t)> duringConfigure; // the host re-entering the plug-in
    std::function<void()> duringMessage;

    static FakeHost &of(IEqHost *self) { return *reinterpret_cast<HostInterface *>(self)->host; }
    static EqResult EQ_CALL showMessage(IEqHost *self, const char *text, std::uint32_t style, std::int32_t *result) {
        FakeHost &h = of(self);
        h.messages.push_back(std::to_string(style) + ": " + text);
        if (result) *result = 1;
        if (h.duringMessage) h.duringMessage();
        return 0;
    }
    static EqResult EQ_CALL requestConfigure(IEqHost *self, std::int32_t unitId) {
        FakeHost &h = of(self);
        h.configureRequests.push_back(unitId);
        if (h.duringConfigure) h.duringConfigure(unitId);
        return 0;
    }
    static EqResult EQ_CALL isUnitNameUsed(IEqHost *self, const char *name, std::int32_t) {
        return of(self).allNamesUsed || of(self).usedNames.count(name) ? 1 : 0;
    }
    static const IEqHostVtbl *table() {
        static const IEqHostVtbl t = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, showMessage,
                                      nullptr, nullptr, nullptr, requestConfigure, isUnitNameUsed};
        return &t;
    }
};

} // namespace corvil::plugin::fakes
