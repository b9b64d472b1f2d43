#include "host.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>

namespace fathom_host {

using namespace corvil::plugin;

namespace {
// The host's text buffers for the plug-in, each with its size passed along.
constexpr std::int16_t kNameSize = 64;
constexpr std::int16_t kAddressSize = 64;
constexpr std::int32_t kTextSize = 64;

GUID toGuid(const EqGuid &g) {
    static_assert(sizeof(GUID) == sizeof(EqGuid), "one GUID layout");
    GUID out;
    std::memcpy(&out, &g, sizeof out);
    return out;
}

std::string text(const char *buffer, std::size_t size) { return std::string(buffer, strnlen(buffer, size)); }

template <std::size_t N> void copyInto(char (&buffer)[N], const std::string &from) {
    std::memset(buffer, 0, N);
    std::memcpy(buffer, from.data(), std::min(from.size(), N - 1));
}
} // namespace

Host::Host(UnitStore &units, KeyPath keyPath, HostUser &user)
    : units_(units), keyPath_(std::move(keyPath)), user_(user) {
    static const IEqHostVtbl table = {
        reinterpret_cast<void *>(&Host::QueryInterface),
        reinterpret_cast<void *>(&Host::AddRef),
        reinterpret_cast<void *>(&Host::Release),
        nullptr, nullptr, nullptr, // the host's own slots: nothing outside calls them
        &Host::ShowMessage,
        nullptr, nullptr, nullptr,
        &Host::RequestConfigure,
        &Host::IsUnitNameUsed,
    };
    callbacks_.iface.vtbl = &table;
    callbacks_.self = this;
}

Host::~Host() { release(); }

Host &Host::of(IEqHost *iface) { return *reinterpret_cast<Callbacks *>(iface)->self; }

// The host is not reference counted by the plug-in: it outlives the object.
HRESULT EQ_CALL Host::QueryInterface(IEqHost *self, const EqGuid *iid, void **out) {
    if (!out) return kE_POINTER;
    if (iid && *iid == kIID_IUnknown) {
        *out = self;
        return kS_OK;
    }
    *out = nullptr;
    return kE_NOINTERFACE;
}
ULONG EQ_CALL Host::AddRef(IEqHost *) { return 1; }
ULONG EQ_CALL Host::Release(IEqHost *) { return 1; }

EqResult EQ_CALL Host::ShowMessage(IEqHost *self, const char *message, std::uint32_t style, std::int32_t *result) {
    Host &host = of(self);
    ++host.messagesShown_;
    const int answer = host.user_.showMessage(message ? message : "", style);
    if (result) *result = answer;
    return kEqOk;
}

EqResult EQ_CALL Host::RequestConfigure(IEqHost *self, std::int32_t unitId) {
    Host &host = of(self);
    if (!host.units_.find(unitId)) return kEqFailed;
    host.user_.requestConfigure(unitId);
    return kEqOk;
}

EqResult EQ_CALL Host::IsUnitNameUsed(IEqHost *self, const char *name, std::int32_t unitId) {
    return of(self).units_.nameUsedByOther(name ? name : "", unitId) ? 1 : 0;
}

bool Host::create(std::string &error) {
    if (device_) return true;
    const GUID clsid = toGuid(kCLSID_CorvilPlugin), iid = toGuid(kIID_IEqDevice);
    void *object = nullptr;
    const HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, &object);
    if (FAILED(hr) || !object) {
        char why[160];
        std::snprintf(why, sizeof why, "CoCreateInstance failed (0x%08lx)%s", static_cast<unsigned long>(hr),
                      hr == REGDB_E_CLASSNOTREG ? ": the plug-in is not registered (regsvr32 Corvil.dll)" : "");
        error = why;
        return false;
    }
    device_ = static_cast<IEqDevice *>(object);
    device_->vtbl->SetHost(device_, &callbacks_.iface);
    loadSettings(keyPath_.root, keyPath_.section);
    return true;
}

void Host::release() {
    if (!device_) return;
    saveSettings(keyPath_.root, keyPath_.section);
    IEqDevice *device = device_;
    device_ = nullptr;
    device->vtbl->Release(device);
    ::CoFreeUnusedLibraries();
}

void Host::shutDown() {
    if (!device_) return;
    for (const Unit &u : std::vector<Unit>(units_.units()))
        if (windowOpen(u.id)) closeWindow(u.id);
    release();
}

EqResult Host::loadSettings(const std::string &root, const std::string &section) {
    return device_->vtbl->LoadSettings(device_, root.c_str(), section.c_str());
}

EqResult Host::saveSettings(const std::string &root, const std::string &section) {
    return device_->vtbl->SaveSettings(device_, root.c_str(), section.c_str());
}

std::string Host::defaultAddress() {
    char buffer[kAddressSize] = {};
    if (device_->vtbl->GetDefaultAddress(device_, buffer, kAddressSize) != kEqOk) return {};
    return text(buffer, sizeof buffer);
}

std::string Host::shortName() {
    char buffer[kTextSize] = {};
    device_->vtbl->GetShortName(device_, buffer, kTextSize);
    return text(buffer, sizeof buffer);
}

std::string Host::longName() {
    char buffer[kTextSize] = {};
    device_->vtbl->GetLongName(device_, buffer, kTextSize);
    return text(buffer, sizeof buffer);
}

std::string Host::outputName(std::int32_t output) {
    char buffer[kTextSize] = {};
    std::int32_t out = 0;
    device_->vtbl->GetOutputName(device_, output, buffer, kTextSize, &out);
    return text(buffer, sizeof buffer);
}

std::string Host::inputName(std::int32_t input) {
    char buffer[kTextSize] = {};
    std::int32_t out = 0;
    device_->vtbl->GetInputName(device_, input, buffer, kTextSize, &out);
    return text(buffer, sizeof buffer);
}

std::string Host::levelName(std::int32_t level) {
    char buffer[kTextSize] = {};
    device_->vtbl->GetLevelName(device_, 0, level, buffer, kTextSize);
    return text(buffer, sizeof buffer);
}

std::int32_t Host::levelCount(std::int32_t input) {
    std::int32_t count = 0;
    device_->vtbl->GetLevelCount(device_, input, &count);
    return count;
}

std::int32_t Host::inputCount() {
    std::int32_t count = 0;
    device_->vtbl->GetInputCount(device_, &count);
    return count;
}

std::int32_t Host::outputCount() {
    std::int32_t count = 0;
    device_->vtbl->GetOutputCount(device_, &count);
    return count;
}

bool Host::saveUnits() {
    std::string error;
    if (units_.save(error)) return true;
    std::fprintf(stderr, "fathom-host: %s\n", error.c_str());
    return false;
}

bool Host::addUnit(const std::string &name, std::int32_t &id, std::string &error) {
    const std::string address = defaultAddress();
    if (address.empty()) {
        error = "GetDefaultAddress failed";
        return false;
    }
    id = units_.add(name, address).id;
    if (!saveUnits()) error = "cannot save the units to " + units_.path();
    return error.empty();
}

bool Host::removeUnit(std::int32_t id, std::string &error) {
    if (device_ && windowOpen(id)) closeWindow(id);
    if (!units_.remove(id)) {
        error = "no unit " + std::to_string(id);
        return false;
    }
    if (!saveUnits()) error = "cannot save the units to " + units_.path();
    return error.empty();
}

ConfigureOutcome Host::configure(std::int32_t id, HWND parent) {
    ConfigureOutcome outcome;
    const Unit *unit = units_.find(id);
    if (!unit) return outcome;
    char address[kAddressSize], name[kNameSize];
    copyInto(address, unit->address);
    copyInto(name, unit->name);
    outcome.result = device_->vtbl->ConfigureUnit(device_, address, kAddressSize, name, kNameSize, id, parent);
    outcome.address = text(address, sizeof address);
    outcome.name = text(name, sizeof name);
    if (outcome.result != kEqOk || !device_) return outcome;
    // The unit may have gone while the dialog ran.
    Unit *changed = units_.find(id);
    if (!changed) return outcome;
    changed->name = UnitStore::storable(outcome.name);
    changed->address = UnitStore::storable(outcome.address);
    saveUnits();
    if (windowOpen(id)) updateWindow(id);
    return outcome;
}

EqResult Host::getRouting(std::int32_t id, Routing &routing) {
    const Unit *unit = units_.find(id);
    if (!unit) return kEqFailed;
    return device_->vtbl->GetRouting(device_, unit->address.c_str(), routing.inputs, routing.reserved, routing.levels, 2);
}

EqResult Host::setRouting(std::int32_t id, const Routing &routing) {
    const Unit *unit = units_.find(id);
    if (!unit) return kEqFailed;
    return device_->vtbl->SetRouting(device_, unit->address.c_str(), routing.inputs, routing.reserved, routing.levels, 2);
}

EqResult Host::openWindow(std::int32_t id, HWND hostWindow) {
    const Unit *unit = units_.find(id);
    if (!unit) return kEqFailed;
    const std::string address = unit->address, name = unit->name; // the unit list may change meanwhile
    return device_->vtbl->OpenUnitWindow(device_, hostWindow, address.c_str(), name.c_str(), id);
}

EqResult Host::updateWindow(std::int32_t id) {
    const Unit *unit = units_.find(id);
    if (!unit) return kEqFailed;
    const std::string address = unit->address, name = unit->name;
    return device_->vtbl->UpdateUnitWindow(device_, address.c_str(), name.c_str(), id);
}

EqResult Host::closeWindow(std::int32_t id) { return device_->vtbl->CloseUnitWindow(device_, id); }

EqResult Host::windowInfo(std::int32_t id, std::string &address, std::string &name) {
    char a[kAddressSize] = {}, n[kNameSize] = {};
    const EqResult result = device_->vtbl->GetUnitWindowInfo(device_, a, kAddressSize, n, kNameSize, id);
    address = text(a, sizeof a);
    name = text(n, sizeof n);
    return result;
}

bool Host::windowOpen(std::int32_t id) {
    std::string address, name;
    return windowInfo(id, address, name) == kEqOk;
}

EqResult Host::tick(std::int16_t elapsedMs) { return device_->vtbl->Tick(device_, elapsedMs); }

EqResult Host::enumerate() { return device_->vtbl->EnumerateUnits(device_); }

} // namespace fathom_host
