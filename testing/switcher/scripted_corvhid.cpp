#define CORVHID_BUILDING 1
#include "corvhid.h"

#include <cstring>

#include "scripted_corvhid.h"

namespace {
ScriptedCorvhid state;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += (s.empty() ? "" : ",") + std::to_string(v);
    return s;
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
corvhid_result CORVHID_CALL ReadCorvilAllSettings(short unit, unsigned char *input1, unsigned char *input2,
                                                  unsigned char *padMask1, unsigned char *padMask2,
                                                  unsigned char *autoSeqInputs1, unsigned char *autoSeqInputs2,
                                                  unsigned char *autoSeqControl1, unsigned char *autoSeqControl2) {
    ++state.reads;
    if (unit != 0) return 0;
    int id;
    ScriptedCorvhid::Record r;
    if (!state.next.empty()) {
        id = state.next.front().first;
        r = state.next.front().second;
        state.next.pop_front();
    } else {
        if (!state.answering) {
            state.lastError = "Corvil not responding.";
            return 0;
        }
        id = state.reportSettingsNext ? 3 : 4;
        r = id == 3 ? state.settings : state.autoSequencing;
        state.reportSettingsNext = !state.reportSettingsNext;
    }
    state.lastError = "Corvil connected.";
    unsigned char *out[2][4] = {{input1, input2, padMask1, padMask2},
                                {autoSeqInputs1, autoSeqInputs2, autoSeqControl1, autoSeqControl2}};
    if (id != 3 && id != 4) return 0;
    for (int i = 0; i < 4; ++i) *out[id - 3][i] = r[i];
    return -1;
}
corvhid_result CORVHID_CALL WriteCorvilSettings(short unit, unsigned char input1, unsigned char input2,
                                                unsigned char padMask1, unsigned char padMask2) {
    state.calls.push_back("WriteCorvilSettings(" + bytes({unit, input1, input2, padMask1, padMask2}) + ")");
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
    state.calls.push_back("WriteCorvilAutoSequencingParameters(" +
                          bytes({unit, inputs1, inputs2, control1, control2}) + ")");
    if (state.applyWrites) state.autoSequencing = {inputs1, inputs2, control1, control2};
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
