#define CORVHID_BUILDING 1
#include "corvhid.h"

#include <cstdio>
#include <cstring>

#include "scripted_corvhid.h"

namespace {
ScriptedCorvhid state;

// A write as the tests expect it: the export's name and its bytes.
void recordWrite(const char *name, int unit, int a, int b, int c, int d) {
    char text[96];
    std::snprintf(text, sizeof text, "%s(%d,%d,%d,%d,%d)", name, unit, a, b, c, d);
    state.calls.push_back(text);
}
} // namespace

extern "C" {

ScriptedCorvhid *scripted_corvhid() { return &state; }

corvhid_result CORVHID_CALL FindFirstCorvil(short *unit) {
    state.calls.push_back("FindFirstCorvil");
    if (!state.unitPresent) {
        state.lastError = "Corvil not detected!";
        return 0;
    }
    *unit = 0;
    return -1;
}
corvhid_result CORVHID_CALL DoneFindingCorvils(void) {
    state.calls.push_back("DoneFindingCorvils");
    return -1;
}
corvhid_result CORVHID_CALL CleanupCorvil(void) {
    state.calls.push_back("CleanupCorvil");
    state.lastError.clear();
    return -1;
}
corvhid_result CORVHID_CALL GetCorvilErrStringA(char *text) {
    std::memcpy(text, state.lastError.c_str(), state.lastError.size() + 1);
    return -1;
}
corvhid_result CORVHID_CALL ReadCorvilAllSettings(short, unsigned char *input1, unsigned char *input2,
                                                  unsigned char *padMask1, unsigned char *padMask2,
                                                  unsigned char *autoSeqInputs1, unsigned char *autoSeqInputs2,
                                                  unsigned char *autoSeqControl1, unsigned char *autoSeqControl2) {
    ++state.reads;
    if (state.next.empty() && !state.answering) {
        state.lastError = "Corvil not responding.";
        return 0;
    }
    if (state.next.empty()) {
        state.next.push_back({state.reportSettingsNext ? 3 : 4,
                              state.reportSettingsNext ? state.settings : state.autoSequencing});
        state.reportSettingsNext = !state.reportSettingsNext;
    }
    const auto [id, r] = state.next.front();
    state.next.pop_front();
    state.lastError = "Corvil connected.";
    unsigned char *out[2][4] = {{input1, input2, padMask1, padMask2},
                                {autoSeqInputs1, autoSeqInputs2, autoSeqControl1, autoSeqControl2}};
    for (int i = 0; i < 4; ++i) *out[id - 3][i] = r[i];
    return -1;
}
corvhid_result CORVHID_CALL WriteCorvilSettings(short unit, unsigned char input1, unsigned char input2,
                                                unsigned char padMask1, unsigned char padMask2) {
    recordWrite("WriteCorvilSettings", unit, input1, input2, padMask1, padMask2);
    if (state.applyWrites) {
        if (input1 != 255) state.settings[0] = input1;
        if (input2 != 255) state.settings[1] = input2;
        state.settings[2] = padMask1;
        state.settings[3] = padMask2;
    }
    return -1;
}
corvhid_result CORVHID_CALL WriteCorvilAutoSequencingParameters(short unit, unsigned char inputs1,
                                                                unsigned char inputs2, unsigned char control1,
                                                                unsigned char control2) {
    recordWrite("WriteCorvilAutoSequencingParameters", unit, inputs1, inputs2, control1, control2);
    return -1;
}
corvhid_result CORVHID_CALL ReadCorvilSerialNumberA(short, char *serial) {
    ++state.serialReads;
    if (!state.serialAnswers) return 0;
    std::memcpy(serial, state.serial.data(), 5);
    serial[5] = '\0';
    return -1;
}
}
