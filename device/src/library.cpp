#include "library.h"

#include "corvhid_records.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace corvhid {

void *Platform::allocate(std::size_t bytes) { return std::malloc(bytes); }
Transfer Platform::readQueuedInputReport(Handle, std::uint8_t *, std::uint32_t) { return Transfer::TimedOut; }
void Platform::deallocate(void *block) { std::free(block); }

namespace {

bool isCorvil(const Attributes &a) {
    return a.vendorId == kVendorId && a.productId == kProductId && a.versionNumber >= kMinimumVersion;
}

template <typename T> void put(T *out, T value) {
    if (out) *out = value;
}

// A record into the caller's four out-parameters, output 1 first.
void putRecord(std::uint8_t *const out[4], const records::Record &r) {
    put(out[0], r.first[0]);
    put(out[1], r.first[1]);
    put(out[2], r.second[0]);
    put(out[3], r.second[1]);
}

} // namespace

Library::Library(Platform &platform) : platform_(platform) {}

Library::~Library() {
    platform_.deallocate(mainHandles_);
    platform_.deallocate(inputHandles_);
}

void Library::setText(const char *text) {
    std::strncpy(lastErrorText_, text, kErrorTextSize - 1);
    lastErrorText_[kErrorTextSize - 1] = '\0';
}

Result Library::fail(const char *text) {
    setText(text);
    return kFailure;
}

Result Library::findFirst(std::int16_t *unit) {
    currentMain_ = kNoHandle;
    // A listing begun (even one that failed) is ended by DoneFindingCorvils
    // or by the next one, and what the devices need is let go by
    // CleanupCorvil.
    listing_ = true;
    devicesReady_ = true;
    if (const char *failure = platform_.beginListing()) return fail(failure);
    return findNext(unit);
}

Result Library::findNext(std::int16_t *unit) {
    // CleanupCorvil let go of what the devices need but leaves an unfinished
    // listing to DoneFindingCorvils: nothing more is examined.
    if (!listing_ || !devicesReady_) return fail(text::kNotDetected);
    for (;;) {
        std::string path;
        switch (platform_.nextInterface(path)) {
        case Listed::End: return fail(text::kNotDetected);
        case Listed::OutOfMemory: return fail(text::kOutOfConventionalMemory);
        case Listed::Skipped: continue;
        case Listed::Interface: break;
        }
        if (examine(path)) return registerUnit(unit) ? kSuccess : kFailure;
    }
}

bool Library::examine(const std::string &path) {
    currentPath_ = path;
    currentMain_ = platform_.open(path.c_str());
    Attributes attributes;
    if (currentMain_ != kNoHandle) platform_.getAttributes(currentMain_, attributes);
    if (!isCorvil(attributes)) {
        if (currentMain_ != kNoHandle) platform_.close(currentMain_);
        currentMain_ = kNoHandle;
        return false;
    }
    platform_.readReportLengths(currentMain_, reportLengths_);
    currentInput_ = platform_.open(path.c_str());
    return true;
}

bool Library::growTable(Handle *&table, Handle entry) {
    auto *grown = static_cast<Handle *>(platform_.allocate((unitCount_ + 1u) * sizeof(Handle)));
    if (!grown) return false;
    if (unitCount_ != 0) std::memcpy(grown, table, unitCount_ * sizeof(Handle));
    platform_.deallocate(table);
    grown[unitCount_] = entry;
    table = grown;
    return true;
}

bool Library::registerUnit(std::int16_t *unit) {
    const char *refusal = nullptr;
    // The unit count is 8 bits wide: a 256th unit would wrap it to 0 and
    // overwrite the tables, so it is refused instead.
    if (unitCount_ >= kMaxUnits)
        refusal = text::kTooManyUnits;
    else if (!growTable(mainHandles_, currentMain_) || !growTable(inputHandles_, currentInput_))
        refusal = text::kOutOfMemory;

    if (refusal) {
        // The unit is not counted: close what was opened for it.
        for (Handle h : {currentMain_, currentInput_})
            if (h != kNoHandle) platform_.close(h);
        currentMain_ = currentInput_ = kNoHandle;
        setText(refusal);
        return false;
    }
    put(unit, static_cast<std::int16_t>(unitCount_));
    paths_.resize(unitCount_);
    paths_.push_back(currentPath_);
    ++unitCount_;
    return true;
}

Result Library::doneFinding() {
    if (listing_) platform_.endListing();
    listing_ = false;
    return kSuccess;
}

Result Library::cleanup() {
    for (unsigned u = 0; u < unitCount_; ++u) {
        for (Handle *table : {mainHandles_, inputHandles_}) {
            if (table && table[u] != kNoHandle) {
                platform_.close(table[u]);
                table[u] = kNoHandle;
            }
        }
    }
    unitCount_ = 0;
    paths_.clear();
    platform_.deallocate(mainHandles_);
    mainHandles_ = nullptr;
    platform_.deallocate(inputHandles_);
    inputHandles_ = nullptr;
    currentMain_ = currentInput_ = kNoHandle;
    // After the handles: closing a unit's handle ends any transfer a driver
    // still held on it, and only then can the transport let go of it.
    if (devicesReady_) platform_.releaseDevices();
    devicesReady_ = false;
    lastErrorText_[0] = '\0';
    return kSuccess;
}

std::string Library::unitPath(std::int16_t unit) const {
    return unit >= 0 && unit < unitCount_ && static_cast<std::size_t>(unit) < paths_.size() ? paths_[unit]
                                                                                          : std::string();
}

Result Library::getErrorText(char *text) const {
    if (text) std::memcpy(text, lastErrorText_, std::strlen(lastErrorText_) + 1);
    return kSuccess;
}

// ---- transfers -------------------------------------------------------------

Result Library::readInputReport() {
    // A read that brings no bytes must not pass the previous report off as a
    // new one: byte 0 then reads as no report id at all.
    receiveBuffer_[0] = 0;
    const std::uint32_t length = reportLengths_.input;
    Transfer outcome;
    if (length <= kBufferSize) {
        outcome = platform_.readInputReport(currentInput_, receiveBuffer_, length);
    } else {
        // A report longer than the buffer is read whole and only its first
        // bytes kept: nothing beyond offset 4 carries data.
        std::vector<std::uint8_t> whole(length);
        outcome = platform_.readInputReport(currentInput_, whole.data(), length);
        std::memcpy(receiveBuffer_, whole.data(), kBufferSize);
    }
    if (outcome == Transfer::NotStarted) return kFailure;
    if (outcome == Transfer::TimedOut) return fail(text::kNotResponding);
    setText(text::kConnected);
    return kSuccess;
}

Result Library::writeOutputReport() {
    const std::uint32_t length = reportLengths_.output;
    Transfer outcome;
    if (length <= kBufferSize) {
        outcome = platform_.writeOutputReport(currentMain_, transmitBuffer_, length);
    } else {
        std::vector<std::uint8_t> whole(length, 0);
        std::memcpy(whole.data(), transmitBuffer_, kBufferSize);
        outcome = platform_.writeOutputReport(currentMain_, whole.data(), length);
    }
    if (outcome == Transfer::NotStarted) return kFailure;
    if (outcome == Transfer::TimedOut) return fail(text::kNotResponding);
    setText(text::kConnected);
    return kSuccess;
}

// ---- record operations -----------------------------------------------------

bool Library::selectUnit(std::int16_t unit, Need need) {
    if (unit < 0 || unit >= unitCount_) return false;
    if (!mainHandles_ || mainHandles_[unit] == kNoHandle) return false;
    if (need == Need::Both) {
        if (!inputHandles_ || inputHandles_[unit] == kNoHandle) return false;
        currentInput_ = inputHandles_[unit];
    }
    currentMain_ = mainHandles_[unit];
    return true;
}

Result Library::readRecord(std::int16_t unit, int attempts, bool wantSettings, bool wantAutoSeq,
                           std::uint8_t *const settings[4], std::uint8_t *const autoSeq[4]) {
    if (!selectUnit(unit, Need::Both)) return kFailure;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (readInputReport() != kSuccess) continue;
        const std::uint8_t id = receiveBuffer_[0];
        std::uint8_t *const *out = nullptr;
        if (id == kSettingsReportId && wantSettings) out = settings;
        if (id == kAutoSequencingReportId && wantAutoSeq) out = autoSeq;
        if (!out) continue;
        putRecord(out, records::fromReport(receiveBuffer_));
        return kSuccess;
    }
    return kFailure;
}

Result Library::readSettings(std::int16_t unit, std::uint8_t *input1, std::uint8_t *input2,
                             std::uint8_t *padMask1, std::uint8_t *padMask2) {
    std::uint8_t *const settings[4] = {input1, input2, padMask1, padMask2};
    return readRecord(unit, 10, true, false, settings, nullptr);
}

Result Library::readAutoSequencing(std::int16_t unit, std::uint8_t *inputs1, std::uint8_t *inputs2,
                                   std::uint8_t *control1, std::uint8_t *control2) {
    std::uint8_t *const autoSeq[4] = {inputs1, inputs2, control1, control2};
    return readRecord(unit, 10, false, true, nullptr, autoSeq);
}

Result Library::readNewestSettings(std::int16_t unit, std::uint8_t *input1, std::uint8_t *input2,
                                   std::uint8_t *padMask1, std::uint8_t *padMask2) {
    if (!selectUnit(unit, Need::Both)) return kFailure;
    const std::uint32_t length = reportLengths_.input;
    if (length == 0 || length > kBufferSize) return readSettings(unit, input1, input2, padMask1, padMask2);
    bool found = false;
    std::uint8_t newest[5] = {};
    // At most two full queues of 32 (the HID driver's default buffer; a
    // virtual unit's queue is filled again when it runs empty), and one more
    // that arrived meanwhile.
    for (int i = 0; i < 65; ++i) {
        receiveBuffer_[0] = 0;
        if (platform_.readQueuedInputReport(currentInput_, receiveBuffer_, length) != Transfer::Completed) break;
        if (receiveBuffer_[0] == kSettingsReportId) {
            std::memcpy(newest, receiveBuffer_, sizeof newest);
            found = true;
        }
    }
    if (!found) return readSettings(unit, input1, input2, padMask1, padMask2);
    setText(text::kConnected);
    std::uint8_t *const settings[4] = {input1, input2, padMask1, padMask2};
    putRecord(settings, records::fromReport(newest));
    return kSuccess;
}

Result Library::readAllSettings(std::int16_t unit, std::uint8_t *input1, std::uint8_t *input2,
                                std::uint8_t *padMask1, std::uint8_t *padMask2,
                                std::uint8_t *autoSeqInputs1, std::uint8_t *autoSeqInputs2,
                                std::uint8_t *autoSeqControl1, std::uint8_t *autoSeqControl2) {
    std::uint8_t *const settings[4] = {input1, input2, padMask1, padMask2};
    std::uint8_t *const autoSeq[4] = {autoSeqInputs1, autoSeqInputs2, autoSeqControl1, autoSeqControl2};
    return readRecord(unit, 3, true, true, settings, autoSeq);
}

Result Library::writeRecord(std::int16_t unit, std::uint8_t reportId, std::uint8_t channel1a,
                            std::uint8_t channel2a, std::uint8_t channel1b, std::uint8_t channel2b) {
    if (!selectUnit(unit, Need::MainOnly)) return kFailure;
    transmitBuffer_[0] = reportId;
    records::toReport({{channel1a, channel2a}, {channel1b, channel2b}}, transmitBuffer_);
    return writeOutputReport();
}

Result Library::writeSettings(std::int16_t unit, std::uint8_t input1, std::uint8_t input2,
                              std::uint8_t padMask1, std::uint8_t padMask2) {
    return writeRecord(unit, kSettingsReportId, input1, input2, padMask1, padMask2);
}

Result Library::writeAutoSequencing(std::int16_t unit, std::uint8_t inputs1, std::uint8_t inputs2,
                                    std::uint8_t control1, std::uint8_t control2) {
    return writeRecord(unit, kAutoSequencingReportId, inputs1, inputs2, control1, control2);
}

Result Library::readSerialNumber(std::int16_t unit, char *serial) {
    if (!serial || !selectUnit(unit, Need::MainOnly)) return kFailure;
    receiveBuffer_[0] = kSerialReportId;
    if (!platform_.getFeature(currentMain_, receiveBuffer_, kFeatureReportLength)) return kFailure;
    if (receiveBuffer_[0] != kSerialReportId) return kFailure;
    std::memcpy(serial, receiveBuffer_ + 1, 5);
    serial[5] = '\0';
    return kSuccess;
}

Result Library::writeSerialNumber(std::int16_t unit, const char *serial) {
    if (!serial || !selectUnit(unit, Need::MainOnly)) return kFailure;
    transmitBuffer_[0] = kSerialReportId;
    std::memcpy(transmitBuffer_ + 1, serial, 5);
    return platform_.setFeature(currentMain_, transmitBuffer_, kFeatureReportLength) ? kSuccess : kFailure;
}

} // namespace corvhid
