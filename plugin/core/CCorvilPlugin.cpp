#include "CCorvilPlugin.h"

#include "CUnitDlg.h"
#include "dialogs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace corvil::plugin {

namespace {
constexpr char kPrefix[] = "SERIAL ";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
} // namespace

std::int32_t &moduleLockCount() {
    static std::int32_t count = 0;
    return count;
}

std::int32_t &pendingDestructions() {
    static std::int32_t count = 0;
    return count;
}

std::uint32_t &deviceGeneration() {
    static std::uint32_t generation = 0;
    return generation;
}

void CCorvilPlugin::cleanupDevice() {
    device_.cleanup();
    ++deviceGeneration();
}

bool parseAddress(const char *address, std::string &serial) {
    if (!address || std::strncmp(address, kPrefix, kPrefixLength) != 0) return false;
    const char *rest = address + kPrefixLength;
    serial.assign(rest, strnlen(rest, 5));
    return true;
}

void copyText(const char *text, char *buffer, std::int32_t size) {
    // A size of 0 or less leaves no room even for the NUL.
    if (!buffer || size < 1) return;
    const std::size_t n = std::min(std::strlen(text), static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    buffer[size - 1] = '\0';
}

const IEqDeviceVtbl *eqDeviceTable(); // eq_device.cpp

CCorvilPlugin::CCorvilPlugin(Services &services)
    : com_{{eqDeviceTable()}, this}, services_(services), device_(services.device) {
    cleanupDevice();
    EnumerateUnits();
}

CCorvilPlugin::~CCorvilPlugin() {
    for (auto &w : std::vector<std::shared_ptr<CUnitDlg>>(windows_)) w->removed();
    windows_.clear();
    cleanupDevice();
}

bool CCorvilPlugin::readUnitSettings(std::int16_t unitIndex, std::uint8_t &input1, std::uint8_t &input2,
                                     std::uint8_t &padMask1, std::uint8_t &padMask2) {
    // The unit reports far more often than the plug-in reads: the oldest
    // queued report would be seconds old, and writing it back (SetRouting)
    // would undo a change just made on the unit.
    return device_.readNewestSettings(unitIndex, &input1, &input2, &padMask1, &padMask2) == corvhid::kSuccess;
}

CCorvilPlugin &CCorvilPlugin::of(IEqDevice *iface) { return *reinterpret_cast<Interface *>(iface)->self; }

HResult CCorvilPlugin::QueryInterface(const EqGuid *iid, void **out) {
    if (!iid || !out) return kE_POINTER;
    if (!(*iid == kIID_IUnknown) && !(*iid == kIID_IEqDevice)) return kE_NOINTERFACE;
    *out = asInterface();
    AddRef();
    return kS_OK;
}

std::uint32_t CCorvilPlugin::AddRef() {
    ++moduleLockCount();
    return static_cast<std::uint32_t>(++referenceCount_);
}

std::uint32_t CCorvilPlugin::Release() {
    --moduleLockCount();
    if (--referenceCount_ == 0) {
        if (callDepth_ > 0) {
            releasedInCall_ = true; // the call running on the object destroys it
            ++pendingDestructions();
        } else
            delete this;
        return 0;
    }
    return static_cast<std::uint32_t>(referenceCount_);
}

CCorvilPlugin::CallGuard::~CallGuard() {
    if (--object_.callDepth_ == 0 && object_.releasedInCall_) {
        delete &object_;
        --pendingDestructions();
    }
}

EqResult CCorvilPlugin::SetHost(IEqHost *host) {
    host_ = host;
    return kEqOk;
}

EqResult CCorvilPlugin::GetTypeCode(std::int32_t *code) {
    if (code) *code = 4;
    return kEqOk;
}

EqResult CCorvilPlugin::GetShortName(char *text, std::int16_t size) {
    copyText("TL Corvil", text, size);
    return kEqOk;
}

EqResult CCorvilPlugin::GetLongName(char *text, std::int16_t size) {
    copyText("Tolvane Corvil", text, size);
    return kEqOk;
}

EqResult CCorvilPlugin::GetDefaultAddress(char *text, std::int16_t size) {
    if (!text || size <= 12) return kEqFailed;
    // The address, then NULs up to the end of the buffer.
    std::strncpy(text, "SERIAL ?????", static_cast<std::size_t>(size));
    return kEqOk;
}

EqResult CCorvilPlugin::GetOutputCount(std::int32_t *count) {
    if (count) *count = 2;
    return kEqOk;
}

EqResult CCorvilPlugin::GetInputCount(std::int32_t *count) {
    if (count) *count = 9; // "No In" and eight inputs
    return kEqOk;
}

EqResult CCorvilPlugin::GetLevelCount(std::int32_t input, std::int32_t *count) {
    if (count) *count = input != 0 ? 2 : 0;
    return kEqOk;
}

EqResult CCorvilPlugin::GetOutputName(std::int32_t output, char *text, std::int32_t size, std::int32_t *out) {
    copyText(output == 0 ? "Out 1" : "Out 2", text, size);
    if (out) *out = 1;
    return kEqOk;
}

EqResult CCorvilPlugin::GetInputName(std::int32_t input, char *text, std::int32_t size, std::int32_t *out) {
    if (input == 0) {
        copyText("No In", text, size);
        if (out) *out = 0;
        return kEqOk;
    }
    char name[24];
    std::snprintf(name, sizeof name, "In %d", static_cast<int>(input));
    copyText(name, text, size);
    if (out) *out = 1;
    return kEqOk;
}

EqResult CCorvilPlugin::GetLevelName(std::int32_t, std::int32_t level, char *text, std::int32_t size) {
    copyText(level == 0 ? "Mic" : "Line", text, size);
    return kEqOk;
}

EqResult CCorvilPlugin::EnumerateUnits() {
    unitCount_ = 0;
    // The device code numbers units with an 8-bit count and appends on every
    // discovery; before it could run out, its tables are cleared (this list
    // is rebuilt whole below, and other objects rebuild theirs before they
    // next use an index).
    if (device_.unitCount() > corvhid::kMaxUnits - (kMaxUnits + 1)) cleanupDevice();
    listGeneration_ = deviceGeneration();
    std::int16_t index = 0;
    auto record = [&] {
        unitIndexes_[unitCount_] = index;
        std::memset(serials_[unitCount_], 0, sizeof serials_[unitCount_]);
        device_.readSerialNumber(index, serials_[unitCount_]); // a unit whose serial fails stays listed
        serials_[unitCount_][5] = '\0';
        ++unitCount_;
    };
    if (device_.findFirst(&index) == corvhid::kSuccess) {
        record();
        // A unit found when 16 are listed is registered but not listed.
        while (device_.findNext(&index) == corvhid::kSuccess && unitCount_ < kMaxUnits) record();
    }
    device_.doneFinding();
    return kEqOk;
}

EqResult CCorvilPlugin::LoadSettings(const char *root, const char *section) {
    CConfig config(services_.registry, services_.log);
    config.Init(section, root);
    char subkey[40];
    GetShortName(subkey, sizeof subkey);
    char rect[256];
    config.GetCfgStr(subkey, "controlrect", "", rect, sizeof rect);
    savedRect = parseControlRect(rect);
    savedScrollX = config.GetCfgInt(subkey, "controlscrollx", 0);
    savedScrollY = config.GetCfgInt(subkey, "controlscrolly", 0);
    return kEqOk;
}

EqResult CCorvilPlugin::SaveSettings(const char *root, const char *section) {
    CConfig config(services_.registry, services_.log);
    config.Init(section, root);
    char subkey[40];
    GetShortName(subkey, sizeof subkey);
    char rect[64];
    std::snprintf(rect, sizeof rect, "%d, %d, %d, %d", static_cast<int>(savedRect.left),
                  static_cast<int>(savedRect.top), static_cast<int>(savedRect.right),
                  static_cast<int>(savedRect.bottom));
    config.SetCfgVal(subkey, "controlrect", rect);
    config.SetCfgInt(subkey, "controlscrollx", savedScrollX);
    config.SetCfgInt(subkey, "controlscrolly", savedScrollY);
    return kEqOk;
}

EqResult CCorvilPlugin::ConfigureUnit(char *address, std::int16_t addressSize, char *name, std::int16_t nameSize,
                                      std::int32_t unitId, HostWindow parent) {
    std::string serial;
    if (!parseAddress(address, serial) || !services_.dialogs) return kEqFailed;
    CallGuard guard(*this); // the dialog calls the host
    const std::string given = name && nameSize > 0 ? std::string(name, strnlen(name, static_cast<std::size_t>(nameSize)))
                                                   : std::string();
    CUnitConfigDlg dialog(*this, unitId, given, serial);
    if (services_.dialogs->runModal(kUnitConfigTemplate, parent, dialog) != DialogHandler::kIdOk) return kEqFailed;
    copyText(dialog.unitName.c_str(), name, nameSize);
    const std::string newAddress = "SERIAL " + dialog.serial;
    // An address that does not fit the host's buffer is dropped.
    if (addressSize > 0 && newAddress.size() < static_cast<std::size_t>(addressSize))
        std::memcpy(address, newAddress.c_str(), newAddress.size() + 1);
    return kEqOk;
}

int CCorvilPlugin::findSerial(const std::string &serial) {
    // Another object's clean-up renumbers the device code's units: an index
    // from before it would reach another unit under this one's name.
    if (unitCount_ == 0 || listGeneration_ != deviceGeneration()) EnumerateUnits();
    for (int i = 0; i < unitCount_; ++i) {
        // A unit whose serial could not be read matches no address.
        if (serials_[i][0] != '\0' && serial == serials_[i]) return i;
    }
    return -1;
}

int CCorvilPlugin::routingRead(const char *address, std::int32_t outputs, std::uint8_t input[2],
                               std::uint8_t pads[2]) {
    if (outputs != 2) return -1;
    std::string serial;
    if (!parseAddress(address, serial)) return -1;
    const int position = findSerial(serial);
    if (position < 0) return -1;
    if (!readUnitSettings(unitIndexes_[position], input[0], input[1], pads[0], pads[1])) {
        EnumerateUnits();
        return -1;
    }
    return position;
}

EqResult CCorvilPlugin::GetRouting(const char *address, std::int32_t *inputs, std::int32_t *reserved,
                                   std::int32_t *levels, std::int32_t outputs) {
    std::uint8_t input[2], pads[2];
    if (routingRead(address, outputs, input, pads) < 0) return kEqFailed;
    for (int o = 0; o < 2; ++o) {
        inputs[o] = input[o];
        reserved[o] = 0;
        levels[o] = records::padShown(input[o], pads[o]) ? 1 : 0;
    }
    return kEqOk;
}

EqResult CCorvilPlugin::SetRouting(const char *address, const std::int32_t *inputs, const std::int32_t *,
                                   const std::int32_t *levels, std::int32_t outputs) {
    std::uint8_t input[2], pads[2];
    const int position = routingRead(address, outputs, input, pads);
    if (position < 0) return kEqFailed;
    for (int o = 0; o < 2; ++o) {
        input[o] = static_cast<std::uint8_t>(inputs[o] & 0xFF);
        // Only inputs 1..8 have a pad bit; other values leave the mask as read.
        if (records::isInput(input[o])) pads[o] = records::with(pads[o], input[o], levels[o] != 0);
    }
    if (device_.writeSettings(unitIndexes_[position], input[0], input[1], pads[0], pads[1]) == corvhid::kSuccess)
        return kEqOk;
    EnumerateUnits();
    return kEqFailed;
}

} // namespace corvil::plugin
