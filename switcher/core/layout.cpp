#include "layout.h"

namespace corvil::switcher {

using form::ControlLayout;
using form::Font;
using form::FormLayout;
using form::Kind;

namespace {

const Font kArial9{"Arial", 9, false};
const Font kArial825{"Arial", 8.25, false};
const Font kWindowFont{};

ControlLayout control(std::string name, int index, Kind kind, std::string caption, int left, int top, int width,
                    int height, Font font, int tab, std::string container = {}, bool right = false) {
    ControlLayout c;
    c.name = std::move(name);
    c.index = index;
    c.kind = kind;
    c.caption = std::move(caption);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.font = std::move(font);
    c.tabIndex = tab;
    c.container = std::move(container);
    c.rightAligned = right;
    return c;
}

ControlLayout named(ControlLayout c, std::string accessibleName) {
    c.accessibleName = std::move(accessibleName);
    return c;
}

std::string outputChannel(int column) { return "Output Channel " + std::to_string(column + 1); }

ControlLayout line(std::string name, int index, int x1, int y1, int x2, int y2) {
    return control(std::move(name), index, Kind::Line, "", x1, y1, x2, y2, kWindowFont, -1);
}

// The check-box grid, its row and column labels and lines, shared by both
// configuration windows.
void addGrid(FormLayout &f, int labelTabBase, int rightColumnTabOffset, int outputLabel1Tab, int outputLabel2Tab) {
    for (int k = 0; k < 16; ++k) {
        const bool right = k >= 8;
        const int row = right ? k - 8 : k;
        f.controls.push_back(named(control("Check1", k, Kind::CheckBox, "", right ? 3840 : 3360, 120 + 360 * row, 255,
                                           255, kWindowFont, right ? k + rightColumnTabOffset : k),
                                   "Input " + std::to_string(row + 1) + " " + outputChannel(right ? 1 : 0)));
    }
    f.controls.push_back(control("Label1", 8, Kind::Label, "Input 1", 1320, 120, 1695, 255, kArial9, labelTabBase, {},
                                 true));
    for (int m = 1; m <= 7; ++m)
        f.controls.push_back(control("Label1", m, Kind::Label, "Input " + std::to_string(m + 1), 1320, 120 + 360 * m,
                                     1695, 255, kArial9, labelTabBase - m, {}, true));
    f.controls.push_back(control("Label2", -1, Kind::Label, "Output Channel 1", 1560, 3120, 1455, 255, kArial9,
                                 outputLabel1Tab));
    f.controls.push_back(control("Label3", -1, Kind::Label, "Output Channel 2", 1560, 3480, 1455, 255, kArial9,
                                 outputLabel2Tab, {}, true));
    f.controls.push_back(line("Line1", 1, 3480, 3240, 3480, 3000));
    f.controls.push_back(line("Line5", -1, 3120, 3240, 3480, 3240));
    f.controls.push_back(line("Line1", 0, 3960, 3240, 3960, 3000));
    f.controls.push_back(line("Line4", -1, 3960, 3240, 3960, 3600));
    f.controls.push_back(line("Line7", -1, 3120, 3600, 3960, 3600));
}

} // namespace

FormLayout mainWindowLayout() {
    FormLayout f;
    f.name = kMainWindow;
    f.title = "Corvil Switcher";
    f.clientWidth = 4395;
    f.clientHeight = 6810;
    f.font = Font{"Arial", 15.75, true};
    auto &c = f.controls;
    c.push_back(control("Command1", -1, Kind::CommandButton, "Attenuator Configuration", 240, 120, 1215, 1095,
                        kArial825, 38));
    c.push_back(control("Command2", -1, Kind::CommandButton, "Auto- Sequencing Configuration", 240, 1560, 1215, 1095,
                        kArial825, 39));
    const Font display{"Arial", 21.75, false};
    c.push_back(named(control("Text1", 0, Kind::TextBox, "", 3120, 120, 495, 555, display, 1), outputChannel(0) + " input"));
    c.push_back(named(control("Text1", 1, Kind::TextBox, "", 3720, 120, 495, 555, display, 0), outputChannel(1) + " input"));
    c.push_back(control("Frame2", 0, Kind::Frame, "", 3120, 840, 615, 3375, kWindowFont, 18));
    c.push_back(control("Frame2", 1, Kind::Frame, "", 3600, 840, 615, 3375, kWindowFont, 37));
    for (int column = 0; column < 2; ++column)
        for (int r = 1; r <= 9; ++r)
            c.push_back(named(control("Option" + std::to_string(r), column, Kind::OptionButton, "", 240, 360 * (r - 1),
                                      255, 495, kWindowFont, (column ? 27 : 18) + r,
                                      "Frame2(" + std::to_string(column) + ")"),
                              (r == 9 ? std::string("No Input") : "Input " + std::to_string(r)) + " to " +
                                  outputChannel(column)));
    for (int i = 0; i < 8; ++i)
        c.push_back(control("Label1", i, Kind::Label, "Input " + std::to_string(i + 1), 1320, 960 + 360 * i, 1695, 255,
                            kArial9, 2 + i, {}, true));
    c.push_back(control("Label1", 8, Kind::Label, "No Input", 1320, 3840, 1695, 255, kArial9, 14, {}, true));
    c.push_back(control("Label6", -1, Kind::Label, "Select Auto- Sequence On:", 120, 4320, 975, 735, kArial9, 42));
    c.push_back(named(control("cAutoSeq1", -1, Kind::CheckBox, "", 1200, 4320, 255, 255, kWindowFont, 40),
                      "Auto-Sequence On " + outputChannel(0)));
    c.push_back(named(control("cAutoSeq2", -1, Kind::CheckBox, "", 1200, 4680, 255, 255, kWindowFont, 41),
                      "Auto-Sequence On " + outputChannel(1)));
    c.push_back(control("Label2", -1, Kind::Label, "Output Channel 1", 1560, 4320, 1455, 255, kArial9, 10));
    c.push_back(control("Label3", -1, Kind::Label, "Output Channel 2", 1440, 4680, 1575, 255, kArial9, 11, {}, true));
    c.push_back(control("Frame1", -1, Kind::Frame, "Status", 240, 5160, 3855, 855, Font{"MS Sans Serif", 8.25, false},
                        12));
    c.push_back(control("Label4", -1, Kind::Label, "No Device Found", 120, 240, 3615, 495, kArial9, 13, "Frame1"));
    c.push_back(control("Label8", -1, Kind::Label, "Tolvane, Inc.", 240, 6120, 3375, 255, kArial9, 17));
    c.push_back(control("Hyperlink1", -1, Kind::Label, "www.tolvane.example", 240, 6360, 1695, 255, kArial825, 15));
    c.push_back(control("Label7", -1, Kind::Label, "version 1.00", 3000, 6360, 1095, 255, kArial825, 16));
    c.push_back(line("Line1", 1, 3480, 4440, 3480, 4200));
    c.push_back(line("Line5", -1, 3120, 4440, 3480, 4440));
    c.push_back(line("Line1", 0, 3960, 4440, 3960, 4200));
    c.push_back(line("Line4", -1, 3960, 4440, 3960, 4800));
    c.push_back(line("Line7", -1, 3120, 4800, 3960, 4800));
    ControlLayout timer = control("Timer1", -1, Kind::Timer, "", 0, 0, 0, 0, kWindowFont, -1);
    timer.timerIntervalMs = 100;
    c.push_back(timer);
    return f;
}

FormLayout attenuatorWindowLayout() {
    FormLayout f;
    f.name = "fAttenuator0100";
    f.title = "Attenuator Configuration";
    f.clientWidth = 4770;
    f.clientHeight = 4890;
    addGrid(f, 27, 3, 10, 9);
    f.controls.push_back(control("Frame1", -1, Kind::Frame, "Status", 240, 3840, 4335, 855, kArial9, 8));
    f.controls.push_back(control("Label1", 0, Kind::Label, kPadInstruction, 120, 240, 4095, 495, kArial825, 19, "Frame1"));
    return f;
}

FormLayout autoSequencingWindowLayout() {
    FormLayout f;
    f.name = "fAutoSequencing0100";
    f.title = "Auto-Sequencing Configuration";
    f.clientWidth = 4785;
    f.clientHeight = 5085;
    auto &c = f.controls;
    c.push_back(control("Label4", -1, Kind::Label, "Output Channel 1 Auto-Sequencing Time Interval:", 120, 120, 1455, 735,
                        kArial9, 30));
    c.push_back(named(control("cChan1Time", -1, Kind::ComboBox, "", 120, 960, 1455, 315, kWindowFont, 16),
                      outputChannel(0) + " Auto-Sequencing Time Interval"));
    c.push_back(control("Label5", -1, Kind::Label, "Output Channel 2 Auto-Sequencing Time Interval:", 120, 1560, 1455, 735,
                        kArial9, 31));
    c.push_back(named(control("cChan2Time", -1, Kind::ComboBox, "", 120, 2400, 1455, 315, kWindowFont, 17),
                      outputChannel(1) + " Auto-Sequencing Time Interval"));
    addGrid(f, 29, 0, 20, 19);
    c.push_back(control("Frame1", -1, Kind::Frame, "Status", 360, 3840, 4215, 855, kArial9, 18));
    c.push_back(control("Label1", 0, Kind::Label, kAutoSeqInstruction, 120, 240, 3975, 495, kArial825, 21, "Frame1"));
    return f;
}

} // namespace corvil::switcher
