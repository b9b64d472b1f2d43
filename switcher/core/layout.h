// The three windows of Corvil Switcher described once, as data: titles,
// client sizes, fonts and every control with its index, kind, caption,
// position, size, font and tab index. Both toolkit bindings realise these.
#pragma once

#include "form.h"

namespace corvil::switcher {

form::FormLayout mainWindowLayout();          // fSwitcherApp0100
form::FormLayout attenuatorWindowLayout();    // fAttenuator0100
form::FormLayout autoSequencingWindowLayout(); // fAutoSequencing0100

// The main window, by its name in the layout.
inline constexpr const char *kMainWindow = "fSwitcherApp0100";

// The main window's status line, by its name in the layout.
inline constexpr const char *kStatusLine = "Label4";

inline constexpr const char *kPadInstruction =
    "Put a check mark at the intersection of each input/output combination that requires 35 dB attenuation "
    "(padding).";
inline constexpr const char *kAutoSeqInstruction =
    "For each output channel column, check mark each input that will be included in the auto-sequence.";

} // namespace corvil::switcher
