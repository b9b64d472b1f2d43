// IEqDevice's slot table: each slot forwards to the plug-in object. No C++
// exception crosses the interface: one that escapes a slot is its failure.
#include "CCorvilPlugin.h"

namespace corvil::plugin {

namespace {

template <typename F> EqResult guarded(F &&call) noexcept {
    try {
        return call();
    } catch (...) {
        return kEqFailed;
    }
}

CCorvilPlugin &self(IEqDevice *iface) { return CCorvilPlugin::of(iface); }

HResult EQ_CALL queryInterface(IEqDevice *p, const EqGuid *iid, void **out) {
    try {
        return self(p).QueryInterface(iid, out);
    } catch (...) {
        return kE_FAIL;
    }
}
std::uint32_t EQ_CALL addRef(IEqDevice *p) { return self(p).AddRef(); }
std::uint32_t EQ_CALL release(IEqDevice *p) { return self(p).Release(); }
EqResult EQ_CALL setHost(IEqDevice *p, IEqHost *host) { return self(p).SetHost(host); }
EqResult EQ_CALL getTypeCode(IEqDevice *p, std::int32_t *code) { return self(p).GetTypeCode(code); }
EqResult EQ_CALL getShortName(IEqDevice *p, char *t, std::int16_t n) { return self(p).GetShortName(t, n); }
EqResult EQ_CALL getLongName(IEqDevice *p, char *t, std::int16_t n) { return self(p).GetLongName(t, n); }
EqResult EQ_CALL slot7(IEqDevice *, std::int32_t, std::int32_t, std::int32_t) { return kEqOk; }
EqResult EQ_CALL slot8(IEqDevice *, std::int32_t) { return kEqOk; }
EqResult EQ_CALL loadSettings(IEqDevice *p, const char *root, const char *section) {
    return guarded([&] { return self(p).LoadSettings(root, section); });
}
EqResult EQ_CALL saveSettings(IEqDevice *p, const char *root, const char *section) {
    return guarded([&] { return self(p).SaveSettings(root, section); });
}
EqResult EQ_CALL tick(IEqDevice *p, std::int16_t elapsed) {
    return guarded([&] { return self(p).Tick(elapsed); });
}
EqResult EQ_CALL getDefaultAddress(IEqDevice *p, char *t, std::int16_t n) { return self(p).GetDefaultAddress(t, n); }
EqResult EQ_CALL configureUnit(IEqDevice *p, char *address, std::int16_t addressSize, char *name,
                               std::int16_t nameSize, std::int32_t unitId, HostWindow parent) {
    return guarded([&] { return self(p).ConfigureUnit(address, addressSize, name, nameSize, unitId, parent); });
}
EqResult EQ_CALL getOutputCount(IEqDevice *p, std::int32_t *n) { return self(p).GetOutputCount(n); }
EqResult EQ_CALL getInputCount(IEqDevice *p, std::int32_t *n) { return self(p).GetInputCount(n); }
EqResult EQ_CALL writesZero(IEqDevice *, std::int32_t, std::int32_t *out) {
    if (out) *out = 0;
    return kEqOk;
}
EqResult EQ_CALL getLevelCount(IEqDevice *p, std::int32_t input, std::int32_t *n) {
    return self(p).GetLevelCount(input, n);
}
EqResult EQ_CALL getOutputName(IEqDevice *p, std::int32_t k, char *t, std::int32_t n, std::int32_t *out) {
    return self(p).GetOutputName(k, t, n, out);
}
EqResult EQ_CALL getInputName(IEqDevice *p, std::int32_t k, char *t, std::int32_t n, std::int32_t *out) {
    return self(p).GetInputName(k, t, n, out);
}
EqResult EQ_CALL slot22(IEqDevice *, std::int32_t, std::int32_t, char *t, std::int32_t n) {
    if (t && n > 0) t[0] = '\0';
    return kEqOk;
}
EqResult EQ_CALL getLevelName(IEqDevice *p, std::int32_t unused, std::int32_t level, char *t, std::int32_t n) {
    return self(p).GetLevelName(unused, level, t, n);
}
EqResult EQ_CALL getRouting(IEqDevice *p, const char *a, std::int32_t *in, std::int32_t *r, std::int32_t *l,
                            std::int32_t outputs) {
    return guarded([&] { return self(p).GetRouting(a, in, r, l, outputs); });
}
EqResult EQ_CALL setRouting(IEqDevice *p, const char *a, const std::int32_t *in, const std::int32_t *r,
                            const std::int32_t *l, std::int32_t outputs) {
    return guarded([&] { return self(p).SetRouting(a, in, r, l, outputs); });
}
EqResult EQ_CALL enumerateUnits(IEqDevice *p) {
    return guarded([&] { return self(p).EnumerateUnits(); });
}
EqResult EQ_CALL openUnitWindow(IEqDevice *p, HostWindow host, const char *a, const char *n, std::int32_t id) {
    return guarded([&] { return self(p).OpenUnitWindow(host, a, n, id); });
}
EqResult EQ_CALL getUnitWindowInfo(IEqDevice *p, char *a, std::int16_t as, char *n, std::int16_t ns,
                                   std::int32_t id) {
    return guarded([&] { return self(p).GetUnitWindowInfo(a, as, n, ns, id); });
}
EqResult EQ_CALL updateUnitWindow(IEqDevice *p, const char *a, const char *n, std::int32_t id) {
    return guarded([&] { return self(p).UpdateUnitWindow(a, n, id); });
}
EqResult EQ_CALL closeUnitWindow(IEqDevice *p, std::int32_t id) {
    return guarded([&] { return self(p).CloseUnitWindow(id); });
}

// Each slot by its name: two slots of the same type cannot trade places
// unnoticed, and an entry out of the table's order does not compile.
const IEqDeviceVtbl kTable = {
    .QueryInterface = queryInterface,
    .AddRef = addRef,
    .Release = release,
    .SetHost = setHost,
    .GetTypeCode = getTypeCode,
    .GetShortName = getShortName,
    .GetLongName = getLongName,
    .Slot7 = slot7,
    .Slot8 = slot8,
    .LoadSettings = loadSettings,
    .SaveSettings = saveSettings,
    .Tick = tick,
    .GetDefaultAddress = getDefaultAddress,
    .ConfigureUnit = configureUnit,
    .GetOutputCount = getOutputCount,
    .GetInputCount = getInputCount,
    .Slot16 = writesZero,
    .GetLevelCount = getLevelCount,
    .Slot18 = writesZero,
    .Slot19 = writesZero,
    .GetOutputName = getOutputName,
    .GetInputName = getInputName,
    .Slot22 = slot22,
    .GetLevelName = getLevelName,
    .GetRouting = getRouting,
    .SetRouting = setRouting,
    .EnumerateUnits = enumerateUnits,
    .OpenUnitWindow = openUnitWindow,
    .GetUnitWindowInfo = getUnitWindowInfo,
    .UpdateUnitWindow = updateUnitWindow,
    .CloseUnitWindow = closeUnitWindow,
};

} // namespace

const IEqDeviceVtbl *eqDeviceTable() { return &kTable; }

} // namespace corvil::plugin
