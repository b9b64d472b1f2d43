// The three windows of Corvil Switcher: each holds its form and the event
// handlers that work on the shared state of SwitcherApp0100.
#pragma once

#include "SwitcherApp0100.h"

namespace corvil::switcher {

class fSwitcherApp0100 {
public:
    explicit fSwitcherApp0100(SwitcherApp0100 &app);
    form::Form form;

    // Variable of this window: timer ticks left before the connection counts as lost.
    std::int16_t responseCountdown = 0;

    void SelectInput(std::uint8_t row, std::int16_t column);
    void Timer1_Timer();

private:
    void Form_Load();
    void Form_Activate();
    void Form_Unload();
    void Form_Terminate();
    void cAutoSeq_Click(int channel);
    void emptyDisplays();
    void search();
    // The status line and the configuration windows' instruction lines
    // after a discovery that found a unit, or found none.
    void showFound();
    void showNotFound();

    SwitcherApp0100 &app_;
};

class fAttenuator0100 {
public:
    explicit fAttenuator0100(SwitcherApp0100 &app);
    form::Form form;

private:
    void Form_Load();
    void Form_Activate();
    void Check1_Click(int index);

    SwitcherApp0100 &app_;
};

class fAutoSequencing0100 {
public:
    explicit fAutoSequencing0100(SwitcherApp0100 &app);
    form::Form form;

    // Empties both interval lists and fills them with the nineteen entries.
    void fillIntervalLists();

private:
    void Form_Load();
    void Form_Activate();
    void Check1_Click(int index);
    void cChanTime_Click(int channel);

    SwitcherApp0100 &app_;
};

} // namespace corvil::switcher
