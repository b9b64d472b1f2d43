// Corvil Switcher's windows on Qt 6 Widgets: each form of the core becomes a
// top-level widget built from its layout data, kept in step with the model,
// and every user action goes to the model, whose handlers decide.
#pragma once

#include <QAbstractButton>
#include <QObject>
#include <QWidget>

#include <exception>
#include <map>

#include "toolkit.h"

class QTimer;

namespace corvil::switcher::qt {

// Twips to Qt's device-independent pixels (the screen's own scale applies on top).
inline int px(int twips) { return form::twipsToPixels(twips); }

class QtToolkit : public QObject, public Toolkit, public form::FormObserver {
public:
    QtToolkit();
    ~QtToolkit() override;

    form::FormObserver *observer() override { return this; }
    void processPendingEvents() override;
    void waitForEvent() override;
    void messageBox(const std::string &text, const std::string &title) override;
    void stopMessage(const std::string &text) override;

    void controlChanged(form::Control &control) override;
    void formShown(form::Form &form) override;
    void formHidden(form::Form &form) override;
    void formCreated(form::Form &form) override;
    void formDestroyed(form::Form &form) override;
    void focusChanged(form::Form &form, form::Control *control) override;

    // The widget of a control or window (tests find widgets by object name too).
    QWidget *widget(form::Control &control) const;
    QWidget *window(form::Form &form) const;

    // Runs a model action from a widget event; an exception is kept and
    // raised again from the event pump, outside Qt's own dispatch.
    void deliver(const std::function<void()> &action);

private:
    QWidget *makeWidget(form::Control &control, QWidget *parent);
    QWidget *makeLabel(form::Control &control, QWidget *parent);
    QWidget *makeTextBox(form::Control &control, QWidget *parent);
    QWidget *makeFrame(form::Control &control, QWidget *parent);
    QWidget *makeOptionButton(form::Control &control, QWidget *parent);
    QWidget *makeCheckBox(form::Control &control, QWidget *parent);
    void clickWithValue(QAbstractButton *button, form::Control &control);
    QWidget *makeCommandButton(form::Control &control, QWidget *parent);
    QWidget *makeComboBox(form::Control &control, QWidget *parent);
    QWidget *makeLine(form::Control &control, QWidget *parent);
    void makeTimer(form::Form &form, QWidget *window, const form::ControlLayout &layout);
    void nameListsByTheirLabels(form::Form &form);
    void apply(form::Control &control);
    void rethrow();
    // The main window, owner of the message boxes; null before it exists.
    QWidget *mainWindow() const;

    std::map<form::Form *, QWidget *> windows_;
    std::map<form::Control *, QWidget *> widgets_;
    std::map<form::Form *, QTimer *> timers_;
    std::exception_ptr pending_;
    int applying_ = 0;
};

} // namespace corvil::switcher::qt
