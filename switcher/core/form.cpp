#include "form.h"

#include <stdexcept>

namespace corvil::form {

std::string qualifiedName(const std::string &name, int index) {
    return index < 0 ? name : name + "(" + std::to_string(index) + ")";
}

// ---- Control -----------------------------------------------------------------

void Control::changed() {
    if (FormObserver *o = form_.observer()) o->controlChanged(*this);
}

void Control::fireClick() {
    auto it = form_.handlers().click.find(layout_.name);
    if (it != form_.handlers().click.end() && it->second) it->second(layout_.index);
}

void Control::setText(const std::string &text) {
    if (text == text_) return;
    text_ = text;
    changed();
}

void Control::setValue(int value) {
    if (value == value_) return;
    if (layout_.kind == Kind::OptionButton) {
        value_ = value ? 1 : 0;
        changed();
        if (!value_) return;
        // One button of a group is on: the others go off without a click.
        for (auto &other : form_.controls()) {
            if (other.get() != this && other->kind() == Kind::OptionButton &&
                other->layout().container == layout_.container && other->value_) {
                other->value_ = 0;
                other->changed();
            }
        }
        fireClick();
        return;
    }
    value_ = value;
    changed();
    if (layout_.kind == Kind::CheckBox) fireClick();
}

void Control::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    changed();
}

bool Control::hasFocus() const { return form_.focus() == this; }
void Control::setFocus() { form_.setFocus(this); }

void Control::clear() {
    if (entries_.empty() && listIndex_ == -1) return;
    entries_.clear();
    listIndex_ = -1;
    changed();
}

void Control::addItem(const std::string &entry, int position) {
    if (position < 0 || position > static_cast<int>(entries_.size())) position = static_cast<int>(entries_.size());
    entries_.insert(entries_.begin() + position, entry);
    if (listIndex_ >= position) ++listIndex_;
    changed();
}

void Control::setListIndex(int index) {
    if (index < -1 || index >= static_cast<int>(entries_.size()))
        throw std::out_of_range(qualifiedName(layout_.name, layout_.index) + ": invalid list index " +
                                std::to_string(index));
    if (index == listIndex_) return;
    listIndex_ = index;
    changed();
    fireClick();
}

std::string Control::entry(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return {};
    return entries_[index];
}

void Control::click() {
    if (!enabled_) return;
    switch (layout_.kind) {
    case Kind::CheckBox: setValue(value_ ? 0 : 1); break;
    case Kind::OptionButton: setValue(1); break;
    case Kind::CommandButton: fireClick(); break;
    default: break;
    }
}

void Control::choose(int listIndex) {
    if (!enabled_ || listIndex < 0 || listIndex >= static_cast<int>(entries_.size())) return;
    if (listIndex == listIndex_) {
        fireClick(); // choosing the entry already chosen is still a choice
        return;
    }
    setListIndex(listIndex);
}

// ---- Form --------------------------------------------------------------------

Form::~Form() { destroy(); }

void Form::load() {
    if (loaded_) return;
    for (const ControlLayout &c : layout_.controls) controls_.push_back(std::make_unique<Control>(*this, c));
    loaded_ = true;
    if (observer_) observer_->formCreated(*this);
    loading_ = true;
    try {
        if (handlers_.load) handlers_.load();
    } catch (...) {
        loading_ = false;
        throw;
    }
    loading_ = false;
    if (activatePending_) {
        activatePending_ = false;
        activated();
    }
}

bool Form::isVisible() {
    load();
    return visible_;
}

void Form::show() {
    load();
    // A window already on screen is shown all the same: brought to the front,
    // restored when minimised, and made the active window, so that its
    // activate handler runs as at its first showing.
    visible_ = true;
    if (observer_) observer_->formShown(*this);
}

void Form::activated() {
    if (!loaded_) return;
    // A load handler that shows its window may see it activated at once
    // (Win32 does so); the activate event still comes after the load event,
    // so that the focus it gives is the one that stays.
    if (loading_) {
        activatePending_ = true;
        return;
    }
    if (handlers_.activate) handlers_.activate();
}

void Form::unload() {
    if (!loaded_ || unloading_) return;
    unloading_ = true;
    if (handlers_.unload) handlers_.unload();
    unloading_ = false;
    destroy();
}

void Form::terminate() {
    if (handlers_.terminate) handlers_.terminate();
}

void Form::destroy() {
    if (!loaded_) return;
    if (visible_ && observer_) observer_->formHidden(*this);
    if (observer_) observer_->formDestroyed(*this);
    visible_ = false;
    loaded_ = false;
    focus_ = nullptr;
    controls_.clear();
}

Control *Form::find(const std::string &name, int index) {
    for (auto &c : controls_)
        if (c->name() == name && c->index() == index) return c.get();
    return nullptr;
}

Control &Form::at(const std::string &name, int index) {
    // Reaching into a window that does not exist creates it, hidden.
    load();
    if (Control *c = find(name, index)) return *c;
    throw std::out_of_range(layout_.name + " has no control " + qualifiedName(name, index));
}

void Form::setFocus(Control *control) {
    // Passed on even when it names the control last given the focus: the
    // user may have moved the focus since, which the toolkit's window knows
    // and this model does not.
    focus_ = control;
    if (observer_) observer_->focusChanged(*this, control);
}

void Form::tick() {
    if (loaded_ && handlers_.timer) handlers_.timer();
}

} // namespace corvil::form
