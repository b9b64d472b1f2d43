// The analyser host's side of the plug-in interface: the plug-in object
// created through COM, the host's callback table, and the host's units.
// Both front ends (the main window and the scripted mode) drive the plug-in
// through this class, so that they make the same calls in the same order.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "eq_abi.h"
#include "units.h"

namespace fathom_host {

using corvil::plugin::EqResult;
using corvil::plugin::IEqDevice;
using corvil::plugin::IEqHost;

// Where the plug-in keeps its settings, under HKEY_CURRENT_USER.
struct KeyPath {
    std::string root = "Software\\Orlo\\FathomLive";
    std::string section = "Devices";
};

// What the front end does when the plug-in calls back.
class HostUser {
public:
    virtual ~HostUser() = default;
    // Shows the text and returns once it has been acknowledged, dispatching
    // window messages meanwhile; the message box's result.
    virtual int showMessage(const std::string &text, std::uint32_t style) = 0;
    // The user asked a unit window for the unit's configuration.
    virtual void requestConfigure(std::int32_t unitId) = 0;
};

struct ConfigureOutcome {
    EqResult result = corvil::plugin::kEqFailed;
    std::string name, address; // as the plug-in returned them (unchanged buffers on failure)
};

struct Routing {
    std::int32_t inputs[2] = {}, reserved[2] = {}, levels[2] = {};
};

class Host {
public:
    Host(UnitStore &units, KeyPath keyPath, HostUser &user);
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    UnitStore &units() { return units_; }
    const KeyPath &keyPath() const { return keyPath_; }
    bool created() const { return device_ != nullptr; }
    IEqDevice *device() const { return device_; }
    // How many messages the plug-in has asked the host to show.
    const int &messagesShown() const { return messagesShown_; }

    // Creates the plug-in object by its class identifier (COM must be
    // initialised on this thread), hands it the callback table before
    // anything else, then lets it load its settings from the host's key path.
    bool create(std::string &error);
    // Lets the object save its settings, then releases it; the DLL may be
    // unloaded once nothing holds it.
    void release();
    // On the way out: every open unit window closed (so the plug-in keeps
    // its placement), settings saved, object released.
    void shutDown();

    EqResult loadSettings(const std::string &root, const std::string &section);
    EqResult saveSettings(const std::string &root, const std::string &section);

    std::string defaultAddress();
    std::string shortName();
    std::string longName();
    std::string outputName(std::int32_t output);
    std::string inputName(std::int32_t input);
    std::string levelName(std::int32_t level);
    std::int32_t levelCount(std::int32_t input);
    std::int32_t inputCount();
    std::int32_t outputCount();

    // A new host unit, unbound ("SERIAL ?????" from the plug-in); saved at once.
    bool addUnit(const std::string &name, std::int32_t &id, std::string &error);
    // Closes its unit window first when one is open.
    bool removeUnit(std::int32_t id, std::string &error);

    // Runs the plug-in's configuration dialog for the unit. When confirmed,
    // the unit takes the name and address returned, the units are saved and
    // an open unit window is updated to them.
    ConfigureOutcome configure(std::int32_t id, HWND parent);

    EqResult getRouting(std::int32_t id, Routing &routing);
    EqResult setRouting(std::int32_t id, const Routing &routing);

    EqResult openWindow(std::int32_t id, HWND hostWindow);
    EqResult updateWindow(std::int32_t id);
    EqResult closeWindow(std::int32_t id);
    EqResult windowInfo(std::int32_t id, std::string &address, std::string &name);
    bool windowOpen(std::int32_t id);

    EqResult tick(std::int16_t elapsedMs);
    EqResult enumerate();

private:
    struct Callbacks {
        IEqHost iface;
        Host *self;
    };
    static Host &of(IEqHost *iface);
    static EqResult EQ_CALL ShowMessage(IEqHost *self, const char *text, std::uint32_t style, std::int32_t *result);
    static EqResult EQ_CALL RequestConfigure(IEqHost *self, std::int32_t unitId);
    static EqResult EQ_CALL IsUnitNameUsed(IEqHost *self, const char *name, std::int32_t unitId);
    static HRESULT EQ_CALL QueryInterface(IEqHost *self, const corvil::plugin::EqGuid *iid, void **out);
    static ULONG EQ_CALL AddRef(IEqHost *self);
    static ULONG EQ_CALL Release(IEqHost *self);

    bool saveUnits();

    UnitStore &units_;
    KeyPath keyPath_;
    HostUser &user_;
    Callbacks callbacks_;
    IEqDevice *device_ = nullptr;
    int messagesShown_ = 0;
};

} // namespace fathom_host
