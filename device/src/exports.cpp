// The exported C functions: one process-wide library over the platform of
// this build. No C++ exception leaves an export.
#define CORVHID_BUILDING 1
#include "corvhid.h"

#include "composite_platform.h"
#include "library.h"

namespace {

corvhid::Library &library() {
    // Created on first use and never destroyed: loading and unloading the
    // library do no work of their own; CleanupCorvil releases what it holds.
    static corvhid::Library *instance = [] {
        static auto *platform = corvhid::makeSystemPlatform().release();
        return new corvhid::Library(*platform);
    }();
    return *instance;
}

template <typename F> corvhid_result guarded(corvhid_result onException, F &&call) noexcept {
    try {
        return call(library());
    } catch (...) {
        return onException;
    }
}

constexpr corvhid_result kFailed = 0;
constexpr corvhid_result kAlways = -1;

} // namespace

extern "C" {

CORVHID_API corvhid_result CORVHID_CALL FindFirstCorvil(short *unit) {
    return guarded(kFailed, [&](corvhid::Library &l) { return l.findFirst(unit); });
}

CORVHID_API corvhid_result CORVHID_CALL FindNextCorvil(short *unit) {
    return guarded(kFailed, [&](corvhid::Library &l) { return l.findNext(unit); });
}

CORVHID_API corvhid_result CORVHID_CALL DoneFindingCorvils(void) {
    return guarded(kAlways, [](corvhid::Library &l) { return l.doneFinding(); });
}

CORVHID_API corvhid_result CORVHID_CALL CleanupCorvil(void) {
    return guarded(kAlways, [](corvhid::Library &l) { return l.cleanup(); });
}

CORVHID_API corvhid_result CORVHID_CALL GetCorvilErrStringA(char *text) {
    return guarded(kAlways, [&](corvhid::Library &l) { return l.getErrorText(text); });
}

CORVHID_API corvhid_result CORVHID_CALL ReadCorvilSettings(short unit, unsigned char *input1,
                                                           unsigned char *input2, unsigned char *padMask1,
                                                           unsigned char *padMask2) {
    return guarded(kFailed, [&](corvhid::Library &l) {
        return l.readSettings(unit, input1, input2, padMask1, padMask2);
    });
}

CORVHID_API corvhid_result CORVHID_CALL ReadCorvilAllSettings(
    short unit, unsigned char *input1, unsigned char *input2, unsigned char *padMask1, unsigned char *padMask2,
    unsigned char *autoSeqInputs1, unsigned char *autoSeqInputs2, unsigned char *autoSeqControl1,
    unsigned char *autoSeqControl2) {
    return guarded(kFailed, [&](corvhid::Library &l) {
        return l.readAllSettings(unit, input1, input2, padMask1, padMask2, autoSeqInputs1, autoSeqInputs2,
                                 autoSeqControl1, autoSeqControl2);
    });
}

CORVHID_API corvhid_result CORVHID_CALL WriteCorvilSettings(short unit, unsigned char input1,
                                                            unsigned char input2, unsigned char padMask1,
                                                            unsigned char padMask2) {
    return guarded(kFailed, [&](corvhid::Library &l) {
        return l.writeSettings(unit, input1, input2, padMask1, padMask2);
    });
}

CORVHID_API corvhid_result CORVHID_CALL ReadCorvilAutoSequencingParameters(
    short unit, unsigned char *autoSeqInputs1, unsigned char *autoSeqInputs2, unsigned char *autoSeqControl1,
    unsigned char *autoSeqControl2) {
    return guarded(kFailed, [&](corvhid::Library &l) {
        return l.readAutoSequencing(unit, autoSeqInputs1, autoSeqInputs2, autoSeqControl1, autoSeqControl2);
    });
}

CORVHID_API corvhid_result CORVHID_CALL WriteCorvilAutoSequencingParameters(
    short unit, unsigned char autoSeqInputs1, unsigned char autoSeqInputs2, unsigned char autoSeqControl1,
    unsigned char autoSeqControl2) {
    return guarded(kFailed, [&](corvhid::Library &l) {
        return l.writeAutoSequencing(unit, autoSeqInputs1, autoSeqInputs2, autoSeqControl1, autoSeqControl2);
    });
}

CORVHID_API corvhid_result CORVHID_CALL ReadCorvilSerialNumberA(short unit, char *serial) {
    return guarded(kFailed, [&](corvhid::Library &l) { return l.readSerialNumber(unit, serial); });
}

CORVHID_API corvhid_result CORVHID_CALL WriteCorvilSerialNumberA(short unit, const char *serial) {
    return guarded(kFailed, [&](corvhid::Library &l) { return l.writeSerialNumber(unit, serial); });
}

} // extern "C"
