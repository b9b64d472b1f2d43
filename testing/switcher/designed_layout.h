// Corvil Switcher's three windows as designed, written out here on their own
// (not taken from the layout data the program builds its windows from), so
// that a wrong number in that data fails the tests that compare with this.
// Positions and sizes in twips; a control in a frame is placed in the frame.
#pragma once

#include <string>
#include <vector>

#include "form.h"

namespace corvil::switcher::testing {

struct DesignedWindow {
    std::string name, title;
    int clientWidth, clientHeight;
    form::Font font; // empty name: the platform's default
};

struct DesignedControl {
    std::string window, name;
    int index;
    form::Kind kind;
    std::string caption; // labels, frames and buttons
    int left, top, width, height; // lines: x1, y1, x2, y2
    form::Font font;              // empty name: the window's
    int tab;                      // -1 for lines
    std::string container;
};

inline std::vector<DesignedWindow> designedWindows() {
    return {
        {"fSwitcherApp0100", "Corvil Switcher", 4395, 6810, {"Arial", 15.75, true}},
        {"fAttenuator0100", "Attenuator Configuration", 4770, 4890, {}},
        {"fAutoSequencing0100", "Auto-Sequencing Configuration", 4785, 5085, {}},
    };
}

inline std::vector<DesignedControl> designedControls() {
    using form::Kind;
    const form::Font none{}, arial9{"Arial", 9, false}, arial825{"Arial", 8.25, false};
    std::vector<DesignedControl> c;
    const std::string main = "fSwitcherApp0100";
    c.push_back({main, "Command1", -1, Kind::CommandButton, "Attenuator Configuration", 240, 120, 1215, 1095, arial825, 38, ""});
    c.push_back({main, "Command2", -1, Kind::CommandButton, "Auto- Sequencing Configuration", 240, 1560, 1215, 1095, arial825, 39, ""});
    c.push_back({main, "Text1", 0, Kind::TextBox, "", 3120, 120, 495, 555, {"Arial", 21.75, false}, 1, ""});
    c.push_back({main, "Text1", 1, Kind::TextBox, "", 3720, 120, 495, 555, {"Arial", 21.75, false}, 0, ""});
    c.push_back({main, "Frame2", 0, Kind::Frame, "", 3120, 840, 615, 3375, none, 18, ""});
    c.push_back({main, "Frame2", 1, Kind::Frame, "", 3600, 840, 615, 3375, none, 37, ""});
    for (int column = 0; column < 2; ++column)
        for (int r = 1; r <= 9; ++r)
            c.push_back({main, "Option" + std::to_string(r), column, Kind::OptionButton, "", 240, 360 * (r - 1), 255,
                         495, none, (column ? 27 : 18) + r, "Frame2(" + std::to_string(column) + ")"});
    for (int i = 0; i < 8; ++i)
        c.push_back({main, "Label1", i, Kind::Label, "Input " + std::to_string(i + 1), 1320, 960 + 360 * i, 1695, 255,
                     arial9, 2 + i, ""});
    c.push_back({main, "Label1", 8, Kind::Label, "No Input", 1320, 3840, 1695, 255, arial9, 14, ""});
    c.push_back({main, "Label6", -1, Kind::Label, "Select Auto- Sequence On:", 120, 4320, 975, 735, arial9, 42, ""});
    c.push_back({main, "cAutoSeq1", -1, Kind::CheckBox, "", 1200, 4320, 255, 255, none, 40, ""});
    c.push_back({main, "cAutoSeq2", -1, Kind::CheckBox, "", 1200, 4680, 255, 255, none, 41, ""});
    c.push_back({main, "Label2", -1, Kind::Label, "Output Channel 1", 1560, 4320, 1455, 255, arial9, 10, ""});
    c.push_back({main, "Label3", -1, Kind::Label, "Output Channel 2", 1440, 4680, 1575, 255, arial9, 11, ""});
    c.push_back({main, "Frame1", -1, Kind::Frame, "Status", 240, 5160, 3855, 855, {"MS Sans Serif", 8.25, false}, 12, ""});
    c.push_back({main, "Label4", -1, Kind::Label, "No Device Found", 120, 240, 3615, 495, arial9, 13, "Frame1"});
    c.push_back({main, "Label8", -1, Kind::Label, "Tolvane, Inc.", 240, 6120, 3375, 255, arial9, 17, ""});
    c.push_back({main, "Hyperlink1", -1, Kind::Label, "www.tolvane.example", 240, 6360, 1695, 255, arial825, 15, ""});
    c.push_back({main, "Label7", -1, Kind::Label, "version 1.00", 3000, 6360, 1095, 255, arial825, 16, ""});
    c.push_back({main, "Line1", 1, Kind::Line, "", 3480, 4440, 3480, 4200, none, -1, ""});
    c.push_back({main, "Line5", -1, Kind::Line, "", 3120, 4440, 3480, 4440, none, -1, ""});
    c.push_back({main, "Line1", 0, Kind::Line, "", 3960, 4440, 3960, 4200, none, -1, ""});
    c.push_back({main, "Line4", -1, Kind::Line, "", 3960, 4440, 3960, 4800, none, -1, ""});
    c.push_back({main, "Line7", -1, Kind::Line, "", 3120, 4800, 3960, 4800, none, -1, ""});

    // The two configuration windows share their grid, labels and lines, and
    // differ in tab indexes, the status frame and what else they hold.
    auto grid = [&](const std::string &w, int rightTabOffset, int labelTabBase, int label2Tab, int label3Tab) {
        for (int k = 0; k < 16; ++k)
            c.push_back({w, "Check1", k, Kind::CheckBox, "", k < 8 ? 3360 : 3840, 120 + 360 * (k % 8), 255, 255, none,
                         k < 8 ? k : k + rightTabOffset, ""});
        c.push_back({w, "Label1", 8, Kind::Label, "Input 1", 1320, 120, 1695, 255, arial9, labelTabBase, ""});
        for (int m = 1; m <= 7; ++m)
            c.push_back({w, "Label1", m, Kind::Label, "Input " + std::to_string(m + 1), 1320, 120 + 360 * m, 1695, 255,
                         arial9, labelTabBase - m, ""});
        c.push_back({w, "Label2", -1, Kind::Label, "Output Channel 1", 1560, 3120, 1455, 255, arial9, label2Tab, ""});
        c.push_back({w, "Label3", -1, Kind::Label, "Output Channel 2", 1560, 3480, 1455, 255, arial9, label3Tab, ""});
        c.push_back({w, "Line1", 1, Kind::Line, "", 3480, 3240, 3480, 3000, none, -1, ""});
        c.push_back({w, "Line5", -1, Kind::Line, "", 3120, 3240, 3480, 3240, none, -1, ""});
        c.push_back({w, "Line1", 0, Kind::Line, "", 3960, 3240, 3960, 3000, none, -1, ""});
        c.push_back({w, "Line4", -1, Kind::Line, "", 3960, 3240, 3960, 3600, none, -1, ""});
        c.push_back({w, "Line7", -1, Kind::Line, "", 3120, 3600, 3960, 3600, none, -1, ""});
    };
    const std::string pads = "fAttenuator0100";
    grid(pads, 3, 27, 10, 9);
    c.push_back({pads, "Frame1", -1, Kind::Frame, "Status", 240, 3840, 4335, 855, arial9, 8, ""});
    c.push_back({pads, "Label1", 0, Kind::Label,
                 "Put a check mark at the intersection of each input/output combination that requires 35 dB "
                 "attenuation (padding).",
                 120, 240, 4095, 495, arial825, 19, "Frame1"});

    const std::string seq = "fAutoSequencing0100";
    c.push_back({seq, "Label4", -1, Kind::Label, "Output Channel 1 Auto-Sequencing Time Interval:", 120, 120, 1455, 735, arial9, 30, ""});
    c.push_back({seq, "cChan1Time", -1, Kind::ComboBox, "", 120, 960, 1455, 315, none, 16, ""});
    c.push_back({seq, "Label5", -1, Kind::Label, "Output Channel 2 Auto-Sequencing Time Interval:", 120, 1560, 1455, 735, arial9, 31, ""});
    c.push_back({seq, "cChan2Time", -1, Kind::ComboBox, "", 120, 2400, 1455, 315, none, 17, ""});
    grid(seq, 0, 29, 20, 19);
    c.push_back({seq, "Frame1", -1, Kind::Frame, "Status", 360, 3840, 4215, 855, arial9, 18, ""});
    c.push_back({seq, "Label1", 0, Kind::Label,
                 "For each output channel column, check mark each input that will be included in the auto-sequence.",
                 120, 240, 3975, 495, arial825, 21, "Frame1"});
    return c;
}

} // namespace corvil::switcher::testing
