#include "SwitcherApp0100.h"

#include <stdexcept>

#include "corvhid.h"
#include "layout.h"
#include "window_units.h"

namespace corvil::switcher {

std::string intervalEntry(int code) {
    if (code == 0) return "Disabled";
    // The "0.0 seconds" pattern with a point whatever the user's locale (Qt
    // takes the locale's decimal comma for printf): codes are half seconds.
    return std::to_string(code / 2) + (code % 2 ? ".5" : ".0") + " seconds";
}

SwitcherApp0100::SwitcherApp0100(Toolkit &tk, Corvil_0100_Interface &library)
    : toolkit(tk), corvhid(library), observer(tk.observer()) {
    mainWindow = std::make_unique<fSwitcherApp0100>(*this);
    attenuatorWindow = std::make_unique<fAttenuator0100>(*this);
    autoSequencingWindow = std::make_unique<fAutoSequencing0100>(*this);
}

SwitcherApp0100::~SwitcherApp0100() = default;

form::Form &SwitcherApp0100::mainForm() { return mainWindow->form; }
form::Control &SwitcherApp0100::statusLine() { return mainForm().at(kStatusLine); }
form::Form &SwitcherApp0100::attenuatorForm() { return attenuatorWindow->form; }
form::Form &SwitcherApp0100::autoSequencingForm() { return autoSequencingWindow->form; }

std::uint8_t SwitcherApp0100::bitMaskAt(int index) const {
    if (index < 0 || index >= static_cast<int>(bitMask.size()))
        throw std::out_of_range("bitMask has no entry " + std::to_string(index));
    return bitMask[static_cast<std::size_t>(index)];
}

void SwitcherApp0100::setGridBit(std::uint8_t &byte1, std::uint8_t &byte2, int index, bool on) const {
    std::uint8_t &byte = index < 8 ? byte1 : byte2;
    const std::uint8_t bit = bitMaskAt(index < 8 ? index : index - 8);
    byte = static_cast<std::uint8_t>(on ? byte | bit : byte & (255 - bit));
}

std::string SwitcherApp0100::displayText(std::uint8_t input, std::uint8_t padMask) const {
    if (input == 0) return "-";
    // Values of 11 and above lie outside bitMask: the unit reported something
    // undefined, shown as such.
    if (input > 10) return "?";
    std::string text(1, static_cast<char>('0' + input));
    const std::uint8_t bit = bitMaskAt(input - 1);
    if ((padMask & bit) == bit) text += '.';
    return text;
}

void SwitcherApp0100::start() {
    appClosing = unitConnected = pollBusy = padsLoaded = autoSeqLoaded = syncComplete = userBusy = serialShown =
        false;
    writeHoldoff = 0;
    shownInput1 = shownInput2 = 255;
    shownSerialNumber.clear();
    mainForm().show();
}

void SwitcherApp0100::pass() {
    toolkit.processPendingEvents();
    if (appClosing) return;
    PollUnit();
    // With no unit connected there is nothing to poll until the next event
    // or timer tick; a loop that kept spinning would burn a whole core.
    if (!unitConnected && !appClosing) toolkit.waitForEvent();
}

void SwitcherApp0100::stop(const std::string &why) {
    // The stop message waits for the user while window events still come
    // (timer ticks, clicks on windows the box does not block): a stopping
    // program starts no device traffic and sends no change meanwhile.
    appClosing = true;
    toolkit.stopMessage(why);
}

int SwitcherApp0100::Main() {
    try {
        start();
        while (!appClosing) pass();
        for (form::Form *f : {&autoSequencingForm(), &attenuatorForm(), &mainForm()}) f->unload();
        return 0;
    } catch (const BindingError &e) {
        stop(std::string("Corvil Switcher cannot work with the device library.\n") + e.what());
    } catch (const std::exception &e) {
        stop(std::string("Corvil Switcher stopped after an unexpected error:\n") + e.what());
    }
    return 1;
}

void SwitcherApp0100::showChannel(int column, bool force, std::uint8_t &shownInput, std::uint8_t &knownInput,
                                  std::uint8_t selected, std::uint8_t displayInput, std::uint8_t padMask,
                                  std::uint8_t &shownPadMask) {
    if (force || shownInput != selected || !padsLoaded || shownPadMask != padMask) {
        mainForm().at("Text1", column).setText(displayText(displayInput, padMask));
        if (!userBusy) {
            if (displayInput == 0)
                mainForm().at("Option9", column).setValue(1);
            else if (displayInput <= 8)
                mainForm().at("Option" + std::to_string(displayInput), column).setValue(1);
        }
    }
    shownInput = selected;
    knownInput = selected;
}

void SwitcherApp0100::showInterval(int channel, std::uint8_t control) {
    form::Form &autoSeq = autoSequencingForm();
    form::Control &box = mainForm().at(channel == 1 ? "cAutoSeq1" : "cAutoSeq2");
    form::Control &list = autoSeq.at(channel == 1 ? "cChan1Time" : "cChan2Time");
    const int code = control & 0x7F;
    const int index = code > 18 ? 18 : code;
    box.setEnabled(code != 0);
    // A list emptied while no unit was connected has no entry to select.
    if (autoSeq.isVisible() && !userBusy && index < static_cast<int>(list.entries().size())) list.setListIndex(index);
}

void SwitcherApp0100::PollUnit() {
    if (!unitConnected || userBusy || appClosing || pollBusy) return;
    pollBusy = true;
    showSerialNumberOnce();
    Group read = Group::Settings;
    if (readRecord(read) && adoptsReadRecords()) {
        adoptReadRecords();
        // A group the user changed is shown again in full, even where it
        // equals what was shown before the click (another writer may have put
        // it back), but only from a record read now: the other group's
        // read-back may predate the unit taking the write, and showing it
        // would flip the user's change back.
        const bool settings = read == Group::Settings && settingsStale;
        const bool autoSeq = read == Group::AutoSequencing && autoSeqStale;
        syncing = true;
        showChannel(0, settings, shownInput1, knownInput1, selectedInput1, displayInput1, padMask1, shownPadMask1);
        showChannel(1, settings, shownInput2, knownInput2, selectedInput2, displayInput2, padMask2, shownPadMask2);
        showPads(settings);
        showAutoSequencing(autoSeq);
        if (settings) settingsStale = false;
        if (autoSeq) autoSeqStale = false;
        syncing = false;
        syncComplete = true;
    }
    pollBusy = false;
    countDownWriteHoldoff();
}

void SwitcherApp0100::showSerialNumberOnce() {
    if (serialShown || !corvhid.ReadSerialNumber(unitNumber, serialNumber)) return;
    unitResponded = true;
    if (serialNumber != shownSerialNumber) {
        shownSerialNumber = serialNumber;
        statusLine().setText("Connected to Corvil\r\nSerial No. " + serialNumber);
        serialShown = true;
    }
}

bool SwitcherApp0100::readRecord(Group &group) {
    // Which record the read brought: a unit never reports input 255, so a
    // settings group that still holds it was not filled.
    const std::uint8_t kept[4] = {readInput1, readInput2, readPads1, readPads2};
    readInput1 = 255;
    const bool answered = corvhid.ReadCorvilAllSettings(unitNumber, readInput1, readInput2, readPads1, readPads2,
                                                        readAutoSeqInputs1, readAutoSeqInputs2, readAutoSeqControl1,
                                                        readAutoSeqControl2) == CORVHID_SUCCESS;
    group = readInput1 == 255 ? Group::AutoSequencing : Group::Settings;
    if (readInput1 == 255) {
        readInput1 = kept[0];
        readInput2 = kept[1];
        readPads1 = kept[2];
        readPads2 = kept[3];
        if (answered) autoSeqArrived = true;
    } else if (answered) {
        settingsArrived = true;
    }
    if (answered) unitResponded = true;
    return answered;
}

bool SwitcherApp0100::adoptsReadRecords() {
    if (selectedInput1 > 8 || selectedInput2 > 8) {
        unitResponded = false;
        return false;
    }
    // A write of the user's not yet answered by the unit; and until both
    // records have come from this connection, the other group holds nothing
    // of this unit (zeros, or what a unit reported before a reconnection):
    // adopting it would show it, and the next click would send it back as
    // the unit's pads.
    return !writePending && settingsArrived && autoSeqArrived;
}

void SwitcherApp0100::adoptReadRecords() {
    selectedInput1 = readInput1;
    selectedInput2 = readInput2;
    padMask1 = readPads1;
    padMask2 = readPads2;
    autoSeqInputs1 = readAutoSeqInputs1;
    autoSeqInputs2 = readAutoSeqInputs2;
    autoSeqControl1 = readAutoSeqControl1;
    autoSeqControl2 = readAutoSeqControl2;
    displayInput1 = selectedInput1;
    displayInput2 = selectedInput2;
}

// A configuration window's grid: boxes 0 to 7 are output channel 1's inputs,
// 8 to 15 output channel 2's.
void SwitcherApp0100::showGrid(form::Form &form, std::uint8_t mask1, std::uint8_t mask2) {
    for (int k = 0; k < 16; ++k)
        form.at("Check1", k).setValue(((k < 8 ? mask1 : mask2) & bitMaskAt(k % 8)) ? 1 : 0);
}

void SwitcherApp0100::showPads(bool force) {
    if (!force && padsLoaded && shownPadMask1 == padMask1 && shownPadMask2 == padMask2) return;
    if (!userBusy) showGrid(attenuatorForm(), padMask1, padMask2);
    shownPadMask1 = padMask1;
    shownPadMask2 = padMask2;
    if (!padsLoaded) {
        sentPadMask1 = padMask1;
        sentPadMask2 = padMask2;
        padsLoaded = true;
    }
}

void SwitcherApp0100::showAutoSequencing(bool force) {
    if (!force && autoSeqLoaded && shownAutoSeqInputs1 == autoSeqInputs1 && shownAutoSeqInputs2 == autoSeqInputs2 &&
        shownAutoSeqControl1 == autoSeqControl1 && shownAutoSeqControl2 == autoSeqControl2)
        return;
    form::Form &autoSeq = autoSequencingForm();
    if (!userBusy) {
        showGrid(autoSeq, autoSeqInputs1, autoSeqInputs2);
        mainForm().at("cAutoSeq1").setValue(autoSeqControl1 > 128 && autoSeqInputs1 != 0 ? 1 : 0);
        mainForm().at("cAutoSeq2").setValue(autoSeqControl2 > 128 && autoSeqInputs2 != 0 ? 1 : 0);
    }
    showInterval(1, autoSeqControl1);
    showInterval(2, autoSeqControl2);
    if (autoSeq.isVisible()) {
        for (const char *name : {"cChan1Time", "cChan2Time"}) {
            form::Control &list = autoSeq.at(name);
            list.setEditText(list.entry(list.listIndex()));
        }
    }
    if (!autoSeqLoaded) {
        autoSeqLoaded = true;
        sentAutoSeqInputs1 = autoSeqInputs1;
        sentAutoSeqInputs2 = autoSeqInputs2;
        sentAutoSeqControl1 = autoSeqControl1;
        sentAutoSeqControl2 = autoSeqControl2;
    }
    shownAutoSeqInputs1 = autoSeqInputs1;
    shownAutoSeqInputs2 = autoSeqInputs2;
    shownAutoSeqControl1 = autoSeqControl1;
    shownAutoSeqControl2 = autoSeqControl2;
}

void SwitcherApp0100::countDownWriteHoldoff() {
    // A write's answer is awaited for two polls before reading adopts again.
    if (!writePending) return;
    if (writeHoldoff == 0) {
        writeHoldoff = 2;
    } else if (--writeHoldoff == 0) {
        writePending = false;
    }
}

void SwitcherApp0100::noteUserWrite(Group group) {
    writePending = true;
    // The windows now show the user's choice, not what was last adopted from
    // the unit: when the unit next reports this group, it is shown in full.
    (group == Group::Settings ? settingsStale : autoSeqStale) = true;
}

void SwitcherApp0100::SendAutoSequencing() {
    if (!unitConnected || appClosing || !syncComplete || !autoSeqLoaded) return;
    if (sentAutoSeqInputs1 == autoSeqInputs1 && sentAutoSeqInputs2 == autoSeqInputs2 &&
        sentAutoSeqControl1 == autoSeqControl1 && sentAutoSeqControl2 == autoSeqControl2)
        return;
    // A channel with nothing to step through is never sent switched on.
    if (autoSeqInputs1 == 0) {
        autoSeqControl1 &= 0x7F;
        if (!syncing) mainForm().at("cAutoSeq1").setValue(0);
    }
    if (autoSeqInputs2 == 0) {
        autoSeqControl2 &= 0x7F;
        if (!syncing) mainForm().at("cAutoSeq2").setValue(0);
    }
    if (!syncing) {
        noteUserWrite(Group::AutoSequencing);
        corvhid.WriteCorvilAutoSequencingParameters(unitNumber, autoSeqInputs1, autoSeqInputs2, autoSeqControl1,
                                                    autoSeqControl2);
    }
    sentAutoSeqInputs1 = autoSeqInputs1;
    sentAutoSeqInputs2 = autoSeqInputs2;
    sentAutoSeqControl1 = autoSeqControl1;
    sentAutoSeqControl2 = autoSeqControl2;
}

} // namespace corvil::switcher
