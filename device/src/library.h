// The protocol core of corvhid: the library-wide state, discovery, the report
// transfers and the record operations, over one HID platform. The exported C
// functions drive one process-wide instance; the plug-in and the tests make
// their own over the platform they need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvhid.h"
#include "corvhid_records.h"
#include "platform.h"

namespace corvhid {

using Result = std::int16_t;
inline constexpr Result kSuccess = CORVHID_SUCCESS;
inline constexpr Result kFailure = CORVHID_FAILURE;

// Recognition of a Corvil unit among HID interfaces.
inline constexpr std::uint16_t kVendorId = CORVHID_VENDOR_ID;
inline constexpr std::uint16_t kProductId = CORVHID_PRODUCT_ID;
inline constexpr std::uint16_t kMinimumVersion = CORVHID_MINIMUM_VERSION;

using records::kAutoSequencingReportId;
using records::kSerialReportId;
using records::kSettingsReportId;
inline constexpr std::uint32_t kFeatureReportLength = 6;
inline constexpr std::size_t kBufferSize = 8;
inline constexpr std::size_t kErrorTextSize = 132;
// The most units the 8-bit unit count can number.
inline constexpr unsigned kMaxUnits = 255;

namespace text {
inline constexpr const char *kOutOfConventionalMemory = "Out of conventional memory!";
inline constexpr const char *kOutOfMemory = "Out of memory!";
inline constexpr const char *kNotDetected = "Corvil not detected!";
inline constexpr const char *kNotResponding = "Corvil not responding.";
inline constexpr const char *kConnected = "Corvil connected.";
inline constexpr const char *kTooManyUnits = "Too many Corvil units (255 at most)!";
} // namespace text

class Library {
public:
    explicit Library(Platform &platform);
    ~Library();
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    // Discovery and shutdown.
    Result findFirst(std::int16_t *unit);
    Result findNext(std::int16_t *unit);
    Result doneFinding();
    Result cleanup();
    Result getErrorText(char *text) const;

    // Record operations.
    Result readSettings(std::int16_t unit, std::uint8_t *input1, std::uint8_t *input2,
                        std::uint8_t *padMask1, std::uint8_t *padMask2);
    Result readAllSettings(std::int16_t unit, std::uint8_t *input1, std::uint8_t *input2,
                           std::uint8_t *padMask1, std::uint8_t *padMask2,
                           std::uint8_t *autoSeqInputs1, std::uint8_t *autoSeqInputs2,
                           std::uint8_t *autoSeqControl1, std::uint8_t *autoSeqControl2);
    Result writeSettings(std::int16_t unit, std::uint8_t input1, std::uint8_t input2,
                         std::uint8_t padMask1, std::uint8_t padMask2);
    Result readAutoSequencing(std::int16_t unit, std::uint8_t *inputs1, std::uint8_t *inputs2,
                              std::uint8_t *control1, std::uint8_t *control2);
    Result writeAutoSequencing(std::int16_t unit, std::uint8_t inputs1, std::uint8_t inputs2,
                               std::uint8_t control1, std::uint8_t control2);
    // The newest settings report the unit has already queued (older queued
    // reports are passed over); when none is queued, as readSettings. For
    // callers that poll seldom and want the unit's present state.
    Result readNewestSettings(std::int16_t unit, std::uint8_t *input1, std::uint8_t *input2,
                              std::uint8_t *padMask1, std::uint8_t *padMask2);
    Result readSerialNumber(std::int16_t unit, char *serial);
    Result writeSerialNumber(std::int16_t unit, const char *serial);

    // The platform path a unit was found at; empty when not registered.
    std::string unitPath(std::int16_t unit) const;

    // Units numbered so far. The count is 8-bit and every discovery appends,
    // so a caller that rediscovers over and over cleans up before it runs out.
    unsigned unitCount() const { return unitCount_; }

private:
    // The tests' view of the state below (device/tests/library_inspector.h).
    friend struct LibraryInspector;

    // Transfers on the current unit.
    Result readInputReport();
    Result writeOutputReport();

    enum class Need { MainOnly, Both };
    bool selectUnit(std::int16_t unit, Need need);
    Result readRecord(std::int16_t unit, int attempts, bool wantSettings, bool wantAutoSeq,
                      std::uint8_t *const settings[4], std::uint8_t *const autoSeq[4]);
    Result writeRecord(std::int16_t unit, std::uint8_t reportId, std::uint8_t channel1a,
                       std::uint8_t channel2a, std::uint8_t channel1b, std::uint8_t channel2b);
    // Opens the interface at `path` as the current unit if it is a Corvil.
    bool examine(const std::string &path);
    bool registerUnit(std::int16_t *unit);
    bool growTable(Handle *&table, Handle entry);
    void setText(const char *text);
    Result fail(const char *text);

    Platform &platform_;

    bool listing_ = false;      // a listing was begun and not ended
    bool devicesReady_ = false; // the transport made ready for devices
    std::uint8_t unitCount_ = 0;
    Handle *mainHandles_ = nullptr;
    Handle *inputHandles_ = nullptr;
    Handle currentMain_ = kNoHandle;
    Handle currentInput_ = kNoHandle;
    std::string currentPath_;
    std::vector<std::string> paths_; // by unit number, for tools
    ReportLengths reportLengths_{};
    std::uint8_t receiveBuffer_[kBufferSize] = {};
    std::uint8_t transmitBuffer_[kBufferSize] = {};
    char lastErrorText_[kErrorTextSize] = {};
};

} // namespace corvhid
