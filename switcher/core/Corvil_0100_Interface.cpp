#include "Corvil_0100_Interface.h"

#include <cstring>
#include <map>

#include "corvhid.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvil::switcher {

struct Corvil_0100_Interface::Cache {
    std::map<std::string, void *> entries;
};

const char *Corvil_0100_Interface::defaultLibraryFile() {
#if defined(_WIN32)
    return "corvhid.dll";
#else
    return "libcorvhid.so.1"; // the library's SONAME: present wherever the library is
#endif
}

Corvil_0100_Interface::Corvil_0100_Interface(std::string libraryFile)
    : libraryFile_(std::move(libraryFile)), cache_(new Cache) {}

Corvil_0100_Interface::~Corvil_0100_Interface() { delete cache_; }

void *Corvil_0100_Interface::entry(const char *name) {
    auto it = cache_->entries.find(name);
    if (it != cache_->entries.end()) return it->second;
    if (!library_) {
#if defined(_WIN32)
        library_ = ::LoadLibraryA(libraryFile_.c_str());
#else
        library_ = ::dlopen(libraryFile_.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        if (!library_) throw BindingError("The device library " + libraryFile_ + " could not be loaded.");
    }
#if defined(_WIN32)
    void *address = reinterpret_cast<void *>(::GetProcAddress(static_cast<HMODULE>(library_), name));
#else
    void *address = ::dlsym(library_, name);
#endif
    if (!address) throw BindingError(std::string("The device library ") + libraryFile_ + " has no entry point " + name + ".");
    cache_->entries[name] = address;
    return address;
}

std::int16_t Corvil_0100_Interface::FindFirstCorvil(std::int16_t &unit) {
    return bound<decltype(&::FindFirstCorvil)>("FindFirstCorvil")(&unit);
}
std::int16_t Corvil_0100_Interface::FindNextCorvil(std::int16_t &unit) {
    return bound<decltype(&::FindNextCorvil)>("FindNextCorvil")(&unit);
}
std::int16_t Corvil_0100_Interface::DoneFindingCorvils() {
    return bound<decltype(&::DoneFindingCorvils)>("DoneFindingCorvils")();
}
std::int16_t Corvil_0100_Interface::CleanupCorvil() { return bound<decltype(&::CleanupCorvil)>("CleanupCorvil")(); }
std::int16_t Corvil_0100_Interface::GetCorvilErrStringA(char *text) {
    return bound<decltype(&::GetCorvilErrStringA)>("GetCorvilErrStringA")(text);
}
std::int16_t Corvil_0100_Interface::ReadCorvilSettings(std::int16_t unit, std::uint8_t &input1, std::uint8_t &input2,
                                                       std::uint8_t &padMask1, std::uint8_t &padMask2) {
    return bound<decltype(&::ReadCorvilSettings)>("ReadCorvilSettings")(unit, &input1, &input2, &padMask1, &padMask2);
}
std::int16_t Corvil_0100_Interface::ReadCorvilAllSettings(std::int16_t unit, std::uint8_t &input1, std::uint8_t &input2,
                                                          std::uint8_t &padMask1, std::uint8_t &padMask2,
                                                          std::uint8_t &autoSeqInputs1, std::uint8_t &autoSeqInputs2,
                                                          std::uint8_t &autoSeqControl1,
                                                          std::uint8_t &autoSeqControl2) {
    return bound<decltype(&::ReadCorvilAllSettings)>("ReadCorvilAllSettings")(
        unit, &input1, &input2, &padMask1, &padMask2, &autoSeqInputs1, &autoSeqInputs2, &autoSeqControl1,
        &autoSeqControl2);
}
std::int16_t Corvil_0100_Interface::WriteCorvilSettings(std::int16_t unit, std::uint8_t input1, std::uint8_t input2,
                                                        std::uint8_t padMask1, std::uint8_t padMask2) {
    return bound<decltype(&::WriteCorvilSettings)>("WriteCorvilSettings")(unit, input1, input2, padMask1, padMask2);
}
std::int16_t Corvil_0100_Interface::ReadCorvilAutoSequencingParameters(std::int16_t unit, std::uint8_t &autoSeqInputs1,
                                                                       std::uint8_t &autoSeqInputs2,
                                                                       std::uint8_t &autoSeqControl1,
                                                                       std::uint8_t &autoSeqControl2) {
    return bound<decltype(&::ReadCorvilAutoSequencingParameters)>("ReadCorvilAutoSequencingParameters")(
        unit, &autoSeqInputs1, &autoSeqInputs2, &autoSeqControl1, &autoSeqControl2);
}
std::int16_t Corvil_0100_Interface::WriteCorvilAutoSequencingParameters(std::int16_t unit, std::uint8_t autoSeqInputs1,
                                                                        std::uint8_t autoSeqInputs2,
                                                                        std::uint8_t autoSeqControl1,
                                                                        std::uint8_t autoSeqControl2) {
    return bound<decltype(&::WriteCorvilAutoSequencingParameters)>("WriteCorvilAutoSequencingParameters")(
        unit, autoSeqInputs1, autoSeqInputs2, autoSeqControl1, autoSeqControl2);
}
std::int16_t Corvil_0100_Interface::ReadCorvilSerialNumberA(std::int16_t unit, char *serial) {
    return bound<decltype(&::ReadCorvilSerialNumberA)>("ReadCorvilSerialNumberA")(unit, serial);
}
std::int16_t Corvil_0100_Interface::WriteCorvilSerialNumberA(std::int16_t unit, const char *serial) {
    return bound<decltype(&::WriteCorvilSerialNumberA)>("WriteCorvilSerialNumberA")(unit, serial);
}

std::string Corvil_0100_Interface::GetErrorText() {
    // The library's own text buffer is 132 bytes, so its text always fits
    // here; only the first 128 characters are taken.
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    GetCorvilErrStringA(buffer);
    errorText.clear();
    for (int i = 0; i < 128 && buffer[i] != '\0'; ++i) errorText += buffer[i];
    return errorText;
}

bool Corvil_0100_Interface::ReadSerialNumber(std::int16_t unit, std::string &serial) {
    char buffer[7] = {};
    if (ReadCorvilSerialNumberA(unit, buffer) == 0) return false;
    serial.assign(buffer, 5);
    return true;
}

} // namespace corvil::switcher
