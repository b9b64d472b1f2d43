// The toolkit-neutral form model the switcher's handlers work on, and that
// each window toolkit mirrors: top-level windows with load, activate, unload
// and terminate events, and their controls, with the event semantics the
// handlers rely on:
//  - setting a check box's value or a list's index from code runs its click
//    handler at once, inside the code that set it, when the value changes;
//  - setting an option button on turns the others of its group off and runs
//    its click handler; turning option buttons off runs none;
//  - a window tested for visibility is created, hidden, when it does not
//    exist; a window the user closes is discarded and created afresh when
//    next used.
// Windows own no state of the program: they hold what the program put there.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace corvil::form {

enum class Kind { Label, TextBox, Frame, OptionButton, CheckBox, CommandButton, ComboBox, Line, Timer };

// Where a control sits and how it looks, in twips (15 to a pixel at 96 dpi).
struct Font {
    std::string name; // empty: the window's font
    double size = 0;
    bool bold = false;
};

struct ControlLayout {
    std::string name;
    int index = -1; // -1: not part of a control array
    Kind kind = Kind::Label;
    std::string caption;
    int left = 0, top = 0, width = 0, height = 0; // lines: x1, y1, x2, y2
    Font font;
    int tabIndex = -1;       // -1: takes no focus
    std::string container;   // a frame "Name" or "Name(i)" that holds it
    bool rightAligned = false;
    int timerIntervalMs = 0; // timers
    // What a screen reader announces for a control whose caption does not
    // say it (an option button beside a row label, a box of the grid);
    // empty: the caption.
    std::string accessibleName;
};

struct FormLayout {
    std::string name;
    std::string title;
    int clientWidth = 0, clientHeight = 0;
    Font font;
    std::vector<ControlLayout> controls;
};

class Form;

class Control {
public:
    Control(Form &form, const ControlLayout &layout) : form_(form), layout_(layout), text_(layout.caption) {}
    const ControlLayout &layout() const { return layout_; }
    const std::string &accessibleName() const { return layout_.accessibleName.empty() ? layout_.caption : layout_.accessibleName; }
    const std::string &name() const { return layout_.name; }
    int index() const { return layout_.index; }
    Kind kind() const { return layout_.kind; }
    Form &form() const { return form_; }

    // Caption of labels, buttons and frames; text of text boxes.
    const std::string &text() const { return text_; }
    void setText(const std::string &text);
    // Check boxes and option buttons: 0 or 1.
    int value() const { return value_; }
    void setValue(int value);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool hasFocus() const;
    void setFocus();

    // Drop-down lists with an edit field.
    const std::vector<std::string> &entries() const { return entries_; }
    void clear();
    void addItem(const std::string &entry, int position = -1);
    int listIndex() const { return listIndex_; }
    void setListIndex(int index);
    const std::string &editText() const { return text_; }
    void setEditText(const std::string &text) { setText(text); }
    std::string entry(int index) const;

    // What a user does (toolkit bindings and tests call these).
    void click();                // buttons, check boxes (toggle), option buttons (on)
    void choose(int listIndex);  // choosing an entry of a drop-down list

private:
    void changed();
    void fireClick();

    Form &form_;
    ControlLayout layout_;
    std::string text_;
    int value_ = 0;
    bool enabled_ = true;
    std::vector<std::string> entries_;
    int listIndex_ = -1;
};

// Told of every change, so that a toolkit binding can mirror it at once.
class FormObserver {
public:
    virtual ~FormObserver() = default;
    virtual void controlChanged(Control &control) = 0;
    // Show the window, bring it to the front (restored when minimised) and
    // activate it; told again for a window already shown.
    virtual void formShown(Form &form) = 0;
    virtual void formHidden(Form &form) = 0;
    virtual void formCreated(Form &form) = 0;
    virtual void formDestroyed(Form &form) = 0;
    // Give the control the keyboard focus; told for every request.
    virtual void focusChanged(Form &form, Control *control) = 0;
};

struct FormHandlers {
    std::function<void()> load, activate, unload, terminate;
    // Click handlers by control name; control arrays get the index.
    std::map<std::string, std::function<void(int index)>> click;
    std::function<void()> timer; // the window's timer tick
};

// A top-level window. Created (controls made, load handler run) on first use.
class Form {
public:
    Form(FormLayout layout, FormHandlers handlers, FormObserver *&observer)
        : layout_(std::move(layout)), handlers_(std::move(handlers)), observer_(observer) {}
    ~Form();

    const FormLayout &layout() const { return layout_; }
    const std::string &name() const { return layout_.name; }

    // Creates the window hidden if it does not exist; runs its load handler.
    void load();
    bool loaded() const { return loaded_; }
    // The "is visible" test: creates the window, hidden, when it does not exist.
    bool isVisible();
    // Shows the window (creating it first), brings it to the front and makes
    // it the active window, also when it is on screen already.
    void show();
    // The window became the active window of the program; during its load
    // handler, the activate event comes when that handler has ended.
    void activated();
    // The user closed it, or the program ends: unload handler, then discard.
    void unload();
    void terminate();

    Control &at(const std::string &name, int index = -1);
    Control *find(const std::string &name, int index = -1);
    std::vector<std::unique_ptr<Control>> &controls() { return controls_; }
    // The control the program last gave the focus; the user may have moved
    // it since, in the toolkit's window.
    Control *focus() const { return focus_; }

    const FormHandlers &handlers() const { return handlers_; }
    FormObserver *observer() const { return observer_; }
    void setFocus(Control *control);
    void tick();

private:
    void destroy();

    FormLayout layout_;
    FormHandlers handlers_;
    FormObserver *&observer_;
    bool loaded_ = false, visible_ = false, unloading_ = false;
    bool loading_ = false, activatePending_ = false;
    std::vector<std::unique_ptr<Control>> controls_;
    Control *focus_ = nullptr;
};

// "Name" or "Name(i)".
std::string qualifiedName(const std::string &name, int index);

// Whether a control of this kind takes the keyboard focus (labels, frames,
// lines and timers never do).
inline bool takesFocus(Kind kind) {
    return kind == Kind::TextBox || kind == Kind::OptionButton || kind == Kind::CheckBox ||
           kind == Kind::CommandButton || kind == Kind::ComboBox;
}

// Twips to pixels at a screen's dots per inch (15 twips to a pixel at 96).
inline int twipsToPixels(int twips, int dpi = 96) { return (twips + 7) * dpi / 1440; }

} // namespace corvil::form
