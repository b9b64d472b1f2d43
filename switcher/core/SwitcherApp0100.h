// The module SwitcherApp0100: all shared state of Corvil Switcher, the
// start-up procedure Main with its event-and-poll loop, the continuous poll
// PollUnit and the one sender of the auto-sequencing record,
// SendAutoSequencing. The three windows are in their own units and work on
// this state; they own none of their own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "Corvil_0100_Interface.h"
#include "form.h"
#include "toolkit.h"

namespace corvil::switcher {

class fSwitcherApp0100;
class fAttenuator0100;
class fAutoSequencing0100;

class SwitcherApp0100 {
public:
    SwitcherApp0100(Toolkit &toolkit, Corvil_0100_Interface &corvhid);
    ~SwitcherApp0100();

    // The program: start, passes until the main window closes, every window
    // unloaded; a stop message for an error. Returns the exit code.
    int Main();
    // Resets the state and shows the main window (whose load looks for a unit).
    void start();
    // One pass of Main's loop: pending events, then a poll. While no unit is
    // connected there is nothing to poll, and the pass waits for the next
    // event instead of spinning.
    void pass();

    void PollUnit();
    void SendAutoSequencing();
    // The two records a unit reports: settings (routing and pads) and
    // auto-sequencing.
    enum class Group { Settings, AutoSequencing };
    // A user's change to `group` has just been sent to the unit.
    void noteUserWrite(Group group);

    // Entry `index` of bitMask; an index outside 0 to 9 is an error.
    std::uint8_t bitMaskAt(int index) const;
    // Check box `index` of a configuration window's grid (0-7 channel 1,
    // 8-15 channel 2) sets or clears its input's bit in byte1 or byte2.
    void setGridBit(std::uint8_t &byte1, std::uint8_t &byte2, int index, bool on) const;
    // The text of a channel's display box for input `input` (display conventions).
    std::string displayText(std::uint8_t input, std::uint8_t padMask) const;

    Toolkit &toolkit;
    Corvil_0100_Interface &corvhid;
    form::FormObserver *observer = nullptr;

    std::unique_ptr<fSwitcherApp0100> mainWindow;
    std::unique_ptr<fAttenuator0100> attenuatorWindow;
    std::unique_ptr<fAutoSequencing0100> autoSequencingWindow;
    form::Form &mainForm();
    form::Control &statusLine();
    form::Form &attenuatorForm();
    form::Form &autoSequencingForm();

    // Connection and guard flags.
    bool appClosing = false;
    bool unitConnected = false;
    bool pollBusy = false;
    bool serialShown = false;
    bool syncComplete = false;
    bool padsLoaded = false;
    bool autoSeqLoaded = false;
    bool syncing = false;
    bool userBusy = false;
    bool writePending = false;
    bool unitResponded = false;
    // Each record has been read at least once since the connection opened.
    bool settingsArrived = false;
    bool autoSeqArrived = false;

    // The application's copy of the unit's state.
    std::uint8_t selectedInput1 = 0, selectedInput2 = 0;
    std::uint8_t padMask1 = 0, padMask2 = 0;
    std::uint8_t autoSeqInputs1 = 0, autoSeqInputs2 = 0;
    std::uint8_t autoSeqControl1 = 0, autoSeqControl2 = 0;

    // Copies used to detect change.
    std::uint8_t knownInput1 = 0, knownInput2 = 0;
    std::uint8_t sentPadMask1 = 0, sentPadMask2 = 0;
    std::uint8_t sentAutoSeqInputs1 = 0, sentAutoSeqInputs2 = 0;
    std::uint8_t sentAutoSeqControl1 = 0, sentAutoSeqControl2 = 0;
    std::uint8_t shownInput1 = 255, shownInput2 = 255;
    std::uint8_t displayInput1 = 0, displayInput2 = 0;
    std::uint8_t shownPadMask1 = 0, shownPadMask2 = 0;
    std::uint8_t shownAutoSeqInputs1 = 0, shownAutoSeqInputs2 = 0;
    // A user's change of the group is shown that no record read since its
    // write's hold-off has confirmed or contradicted.
    bool settingsStale = false, autoSeqStale = false;
    std::uint8_t shownAutoSeqControl1 = 0, shownAutoSeqControl2 = 0;

    // Read-back buffer, the eight out-parameters of ReadCorvilAllSettings.
    std::uint8_t readInput1 = 0, readInput2 = 0, readPads1 = 0, readPads2 = 0;
    std::uint8_t readAutoSeqInputs1 = 0, readAutoSeqInputs2 = 0;
    std::uint8_t readAutoSeqControl1 = 0, readAutoSeqControl2 = 0;

    std::array<std::uint8_t, 10> bitMask{};
    std::int16_t unitNumber = 0;
    std::string serialNumber;
    std::string shownSerialNumber;
    std::int16_t writeHoldoff = 0;

private:
    // The steps of one poll.
    void showSerialNumberOnce();
    // True when the unit answered; `group` is the record it brought.
    bool readRecord(Group &group);
    bool adoptsReadRecords();
    void adoptReadRecords();
    void showGrid(form::Form &form, std::uint8_t mask1, std::uint8_t mask2);
    void showPads(bool force);
    void showAutoSequencing(bool force);
    void countDownWriteHoldoff();

    void showChannel(int column, bool force, std::uint8_t &shownInput, std::uint8_t &knownInput,
                     std::uint8_t selected, std::uint8_t displayInput, std::uint8_t padMask,
                     std::uint8_t &shownPadMask);
    void showInterval(int channel, std::uint8_t control);
    // Ends the program's traffic and shows why it stops.
    void stop(const std::string &why);
};

// The texts of the interval lists: "Disabled", then 0.5 to 9.0 seconds.
std::string intervalEntry(int code);

} // namespace corvil::switcher
