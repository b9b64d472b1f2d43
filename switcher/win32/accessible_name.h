// The name a screen reader announces for a control window whose caption
// does not say what it is (an option button beside a row label, a box of
// the pad grid, a display box): given through the control's MSAA object.
#pragma once

#include <windows.h>

#include <string>

namespace corvil::switcher::win32 {

// From now on the control's client object (WM_GETOBJECT, OBJID_CLIENT) is
// the system's standard one with `name` as its own name; everything else it
// says (role, state, place, actions) is the standard object's. A client that
// reads it late-bound, through IDispatch, hears the same answers. Where the
// standard object does not know the window class and calls the control a
// plain client area, the role is the control's own (push button, radio
// button, check box, text, combo box) and a checked box or button says so.
// Called again, the new name replaces the old. Needs COM on the thread that
// owns the window.
void setAccessibleName(HWND control, const std::string &name);

} // namespace corvil::switcher::win32
