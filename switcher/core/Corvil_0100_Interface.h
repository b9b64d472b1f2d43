// The device library as Corvil Switcher binds it: the twelve exports
// declared against the library file, which is loaded, and each export looked
// up by name, at the first call of that export. A library or export that
// cannot be found makes the call throw BindingError, which stops the program.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvil::switcher {

class BindingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Corvil_0100_Interface {
public:
    // The library file: "corvhid.dll" on Windows, "libcorvhid.so.1" elsewhere.
    static const char *defaultLibraryFile();

    explicit Corvil_0100_Interface(std::string libraryFile = defaultLibraryFile());
    ~Corvil_0100_Interface();
    Corvil_0100_Interface(const Corvil_0100_Interface &) = delete;
    Corvil_0100_Interface &operator=(const Corvil_0100_Interface &) = delete;

    std::int16_t FindFirstCorvil(std::int16_t &unit);
    std::int16_t FindNextCorvil(std::int16_t &unit);
    std::int16_t DoneFindingCorvils();
    std::int16_t CleanupCorvil();
    std::int16_t GetCorvilErrStringA(char *text);
    std::int16_t ReadCorvilSettings(std::int16_t unit, std::uint8_t &input1, std::uint8_t &input2,
                                    std::uint8_t &padMask1, std::uint8_t &padMask2);
    std::int16_t ReadCorvilAllSettings(std::int16_t unit, std::uint8_t &input1, std::uint8_t &input2,
                                       std::uint8_t &padMask1, std::uint8_t &padMask2, std::uint8_t &autoSeqInputs1,
                                       std::uint8_t &autoSeqInputs2, std::uint8_t &autoSeqControl1,
                                       std::uint8_t &autoSeqControl2);
    std::int16_t WriteCorvilSettings(std::int16_t unit, std::uint8_t input1, std::uint8_t input2,
                                     std::uint8_t padMask1, std::uint8_t padMask2);
    std::int16_t ReadCorvilAutoSequencingParameters(std::int16_t unit, std::uint8_t &autoSeqInputs1,
                                                    std::uint8_t &autoSeqInputs2, std::uint8_t &autoSeqControl1,
                                                    std::uint8_t &autoSeqControl2);
    std::int16_t WriteCorvilAutoSequencingParameters(std::int16_t unit, std::uint8_t autoSeqInputs1,
                                                     std::uint8_t autoSeqInputs2, std::uint8_t autoSeqControl1,
                                                     std::uint8_t autoSeqControl2);
    std::int16_t ReadCorvilSerialNumberA(std::int16_t unit, char *serial);
    std::int16_t WriteCorvilSerialNumberA(std::int16_t unit, const char *serial);

    // The library's last-error text, at most 128 characters.
    std::string GetErrorText();
    // Reads the five serial characters (a zero byte included as a character);
    // leaves `serial` alone on failure.
    bool ReadSerialNumber(std::int16_t unit, std::string &serial);

    std::string errorText; // the buffer of GetErrorText

private:
    void *entry(const char *name);
    template <typename F> F bound(const char *name) { return reinterpret_cast<F>(entry(name)); }

    std::string libraryFile_;
    void *library_ = nullptr;
    struct Cache;
    Cache *cache_;
};

} // namespace corvil::switcher
