// The plug-in object's unit list and routing (the IEqDevice behaviour that
// needs no window): names, counts, the unit list of at most 16 attached
// units with their serials, unit addresses, and the translation between the
// analyser's routing model and the unit's settings. It calls the device code
// compiled into the plug-in directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CConfig.h"
#include "corvhid_records.h"
#include "eq_abi.h"
#include "library.h"
#include "seams.h"

namespace corvil::plugin {

namespace records = corvhid::records;

// The module lock count: every AddRef and Release of any object of the module.
std::int32_t &moduleLockCount();
// Objects released while a call still runs on them: the module's code is
// in use until they are destroyed.
std::int32_t &pendingDestructions();

// Raised at every clean-up of the device code that the plug-in makes: unit
// indexes listed before it may now stand for another unit, or none.
std::uint32_t &deviceGeneration();

// Parses a unit address ("SERIAL " and up to five serial characters).
bool parseAddress(const char *address, std::string &serial);

// Copies `text` into a caller's buffer of `size` bytes, cut to size - 1
// characters, with a NUL at position size - 1. A size below 1 writes nothing.
void copyText(const char *text, char *buffer, std::int32_t size);

// What a plug-in object works with: the process-wide device code and the
// platform's registry and the host's log.
class Dialogs;
class WindowSystem;
class CUnitDlg;

struct Services {
    corvhid::Library &device;
    Registry &registry;
    LogEntry log;
    Dialogs *dialogs = nullptr;
    WindowSystem *windows = nullptr;
};

class CCorvilPlugin {
public:
    static constexpr int kMaxUnits = 16;

    explicit CCorvilPlugin(Services &services);
    ~CCorvilPlugin();

    // The object as the host sees it: IEqDevice's table of 31 slots.
    IEqDevice *asInterface() { return &com_.iface; }
    static CCorvilPlugin &of(IEqDevice *iface);
    HResult QueryInterface(const EqGuid *iid, void **out);

    std::uint32_t AddRef();
    std::uint32_t Release(); // destroys the object at 0, or when the call running on it returns

    // Keeps the object alive while a call that may reach the host runs on
    // it: the host can release the object from inside ShowMessage or
    // RequestConfigure, and the call must not go on in freed memory. The
    // outermost guard destroys an object released meanwhile.
    class CallGuard {
    public:
        explicit CallGuard(CCorvilPlugin &object) : object_(object) { ++object_.callDepth_; }
        ~CallGuard();
        CallGuard(const CallGuard &) = delete;
        CallGuard &operator=(const CallGuard &) = delete;

    private:
        CCorvilPlugin &object_;
    };
    // The host released the object during a call still running on it.
    bool released() const { return releasedInCall_; }
    EqResult SetHost(IEqHost *host);
    EqResult GetTypeCode(std::int32_t *code);
    EqResult GetShortName(char *text, std::int16_t size);
    EqResult GetLongName(char *text, std::int16_t size);
    EqResult GetDefaultAddress(char *text, std::int16_t size);
    EqResult GetOutputCount(std::int32_t *count);
    EqResult GetInputCount(std::int32_t *count);
    EqResult GetLevelCount(std::int32_t input, std::int32_t *count);
    EqResult GetOutputName(std::int32_t output, char *text, std::int32_t size, std::int32_t *out);
    EqResult GetInputName(std::int32_t input, char *text, std::int32_t size, std::int32_t *out);
    EqResult GetLevelName(std::int32_t unused, std::int32_t level, char *text, std::int32_t size);
    EqResult GetRouting(const char *address, std::int32_t *inputs, std::int32_t *reserved, std::int32_t *levels,
                        std::int32_t outputs);
    EqResult SetRouting(const char *address, const std::int32_t *inputs, const std::int32_t *reserved,
                        const std::int32_t *levels, std::int32_t outputs);
    EqResult EnumerateUnits();
    EqResult ConfigureUnit(char *address, std::int16_t addressSize, char *name, std::int16_t nameSize,
                           std::int32_t unitId, HostWindow parent);
    EqResult OpenUnitWindow(HostWindow host, const char *address, const char *name, std::int32_t unitId);
    EqResult GetUnitWindowInfo(char *address, std::int16_t addressSize, char *name, std::int16_t nameSize,
                               std::int32_t unitId);
    EqResult UpdateUnitWindow(const char *address, const char *name, std::int32_t unitId);
    EqResult CloseUnitWindow(std::int32_t unitId);
    EqResult Tick(std::int16_t elapsedMs);
    EqResult LoadSettings(const char *root, const char *section);
    EqResult SaveSettings(const char *root, const char *section);

    // Closes every unit of the process's device code (all objects' units).
    void cleanupDevice();
    // Reads a unit's settings for the unit windows and routing.
    bool readUnitSettings(std::int16_t unitIndex, std::uint8_t &input1, std::uint8_t &input2,
                          std::uint8_t &padMask1, std::uint8_t &padMask2);

    Services &services() { return services_; }
    static constexpr int kMaxWindows = 16;
    int openWindowCount() const { return static_cast<int>(windows_.size()); }
    CUnitDlg *window(int place) const { return windows_[static_cast<std::size_t>(place)].get(); }
    std::int32_t pollCountdown = 0;
    bool dropdownOpen = false;

    // Placement of the unit window destroyed last, kept between runs.
    Rect savedRect{};
    std::int32_t savedScrollX = 0, savedScrollY = 0;

    // The unit list position of `serial`, enumerating first when the list is
    // empty or older than the device code's last clean-up; -1 when not
    // attached.
    int findSerial(const std::string &serial);
    std::int16_t unitIndex(int position) const { return unitIndexes_[position]; }
    int unitCount() const { return unitCount_; }
    const char *serial(int position) const { return serials_[position]; }
    std::int32_t referenceCount() const { return referenceCount_; }
    IEqHost *host() const { return host_; }

private:
    struct Interface {
        IEqDevice iface;
        CCorvilPlugin *self;
    };
    Interface com_;
    Services &services_;
    corvhid::Library &device_;
    std::int32_t referenceCount_ = 0;
    int unitCount_ = 0;
    std::uint32_t listGeneration_ = 0; // deviceGeneration() when the list was made
    std::int16_t unitIndexes_[kMaxUnits] = {};
    char serials_[kMaxUnits][6] = {};
    IEqHost *host_ = nullptr;
    int callDepth_ = 0;
    bool releasedInCall_ = false;
    std::vector<std::shared_ptr<CUnitDlg>> windows_; // in the order opened
    std::shared_ptr<CUnitDlg> findWindow(std::int32_t unitId) const;
    void removeWindow(const std::shared_ptr<CUnitDlg> &window);
    void pollPass();
    // Reads the unit, shows its settings in the window, focus to the host window.
    void showFromUnit(CUnitDlg &window);
    // Checks a routing call and reads the unit's settings: its list
    // position, or -1 (after a device failure the list is rebuilt).
    int routingRead(const char *address, std::int32_t outputs, std::uint8_t input[2], std::uint8_t pads[2]);
};

} // namespace corvil::plugin
