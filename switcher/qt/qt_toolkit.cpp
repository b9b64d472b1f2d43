#include "qt_toolkit.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

#include "layout.h"

namespace corvil::switcher::qt {

using form::Control;
using form::Form;
using form::Kind;

namespace {

QString q(const std::string &s) { return QString::fromLatin1(s.data(), static_cast<int>(s.size())); }

// An option button or check box as assistive technology sees it. Qt's own
// "toggle" action flips the state without a click, so the form never heard
// of it and nothing reached the unit: here it is the click a user makes. And
// an option button is announced as one: Qt calls a button that is not
// exclusive in its group a check box, and the form model, not Qt, keeps one
// option of a group on.
class ClickedByAssistiveTechnology : public QAccessibleWidget {
public:
    ClickedByAssistiveTechnology(QAbstractButton *button, QAccessible::Role role) : QAccessibleWidget(button, role) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        return s;
    }
    QStringList actionNames() const override { return {toggleAction(), setFocusAction()}; }
    void doAction(const QString &action) override {
        if (action != toggleAction() || !widget()->isEnabled()) return QAccessibleWidget::doAction(action);
        widget()->setFocus(Qt::OtherFocusReason);
        button()->click();
    }

private:
    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }
};

QAccessibleInterface *accessibleButton(const QString &className, QObject *object) {
    if (className == QLatin1String("QRadioButton"))
        return new ClickedByAssistiveTechnology(static_cast<QRadioButton *>(object), QAccessible::RadioButton);
    if (className == QLatin1String("QCheckBox"))
        return new ClickedByAssistiveTechnology(static_cast<QCheckBox *>(object), QAccessible::CheckBox);
    return nullptr;
}

// A top-level window of the program: closing it unloads its form, and its
// activation is the form's activate event.
class FormWindow : public QWidget {
public:
    FormWindow(QtToolkit &toolkit, Form &form) : toolkit_(toolkit), form_(form) {}
    // The form let go of this window: it waits for deletion and reports nothing.
    bool detached = false;

protected:
    bool event(QEvent *e) override {
        if (e->type() == QEvent::WindowActivate && !detached) toolkit_.deliver([this] { form_.activated(); });
        return QWidget::event(e);
    }
    void closeEvent(QCloseEvent *e) override {
        e->ignore(); // the form decides; unloading destroys this window
        if (detached) return;
        Form &form = form_;
        const bool main = form.layout().name == kMainWindow;
        toolkit_.deliver([&form, main] {
            form.unload();
            if (main) form.terminate();
        });
    }

private:
    QtToolkit &toolkit_;
    Form &form_;
};

// A push button whose caption wraps, as the configuration buttons' do.
class WrappingButton : public QPushButton {
public:
    explicit WrappingButton(QWidget *parent) : QPushButton(parent), label_(new QLabel(this)) {
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(4, 4, 4, 4);
        label_->setWordWrap(true);
        label_->setAlignment(Qt::AlignCenter);
        label_->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(label_);
    }
    void setCaption(const QString &text) { label_->setText(text); }
    QString caption() const { return label_->text(); }

private:
    QLabel *label_;
};

QFont fontOf(const form::Font &f, const QFont &inherited) {
    if (f.name.empty()) return inherited;
    QFont font(q(f.name));
    font.setPointSizeF(f.size);
    font.setBold(f.bold);
    return font;
}

} // namespace

QtToolkit::QtToolkit() { QAccessible::installFactory(accessibleButton); }
QtToolkit::~QtToolkit() {
    for (auto &[form, window] : windows_) {
        static_cast<FormWindow *>(window)->detached = true;
        delete window;
    }
}

void QtToolkit::deliver(const std::function<void()> &action) {
    try {
        action();
    } catch (...) {
        if (!pending_) pending_ = std::current_exception();
    }
}

void QtToolkit::rethrow() {
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
}

void QtToolkit::processPendingEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    rethrow();
}

void QtToolkit::waitForEvent() {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    rethrow();
}

QWidget *QtToolkit::mainWindow() const {
    for (auto &[form, window] : windows_)
        if (form->name() == kMainWindow) return window;
    return nullptr;
}

void QtToolkit::messageBox(const std::string &text, const std::string &title) {
    QMessageBox::critical(mainWindow(), q(title), q(text), QMessageBox::Ok);
}

void QtToolkit::stopMessage(const std::string &text) {
    // The box's own event loop would go on dispatching the timers' ticks.
    for (auto &[form, timer] : timers_) timer->stop();
    QMessageBox::critical(mainWindow(), QStringLiteral("Corvil Switcher"), q(text), QMessageBox::Ok);
}

QWidget *QtToolkit::widget(Control &control) const {
    auto it = widgets_.find(&control);
    return it == widgets_.end() ? nullptr : it->second;
}

QWidget *QtToolkit::window(Form &form) const {
    auto it = windows_.find(&form);
    return it == windows_.end() ? nullptr : it->second;
}

// One function per kind of control: the widget, with what the user does to
// it delivered to the model.
QWidget *QtToolkit::makeLabel(Control &c, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setWordWrap(true);
    label->setAlignment((c.layout().rightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
    return label;
}

QWidget *QtToolkit::makeTextBox(Control &, QWidget *parent) {
    auto *edit = new QLineEdit(parent);
    edit->setReadOnly(true); // written only by the program
    edit->setAlignment(Qt::AlignCenter);
    return edit;
}

QWidget *QtToolkit::makeFrame(Control &c, QWidget *parent) {
    if (!c.layout().caption.empty()) return new QGroupBox(parent);
    auto *frame = new QFrame(parent);
    frame->setFrameShape(QFrame::NoFrame);
    return frame;
}

QWidget *QtToolkit::makeOptionButton(Control &c, QWidget *parent) {
    auto *radio = new QRadioButton(parent);
    // The form model keeps one on per group (and may switch them all off);
    // each stays a tab stop of its own.
    radio->setAutoExclusive(false);
    clickWithValue(radio, c);
    return radio;
}

QWidget *QtToolkit::makeCheckBox(Control &c, QWidget *parent) {
    auto *box = new QCheckBox(parent);
    clickWithValue(box, c);
    return box;
}

// A click on a control with a value goes to the form model; the widget then
// shows the value the model holds (a handler may have refused the change).
void QtToolkit::clickWithValue(QAbstractButton *button, Control &c) {
    connect(button, &QAbstractButton::clicked, this, [this, &c] {
        deliver([&c] { c.click(); });
        apply(c);
    });
}

QWidget *QtToolkit::makeCommandButton(Control &c, QWidget *parent) {
    auto *button = new WrappingButton(parent);
    connect(button, &QPushButton::clicked, this, [this, &c] { deliver([&c] { c.click(); }); });
    return button;
}

QWidget *QtToolkit::makeComboBox(Control &c, QWidget *parent) {
    auto *combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    connect(combo, &QComboBox::activated, this, [this, &c](int index) {
        deliver([&c, index] { c.choose(index); });
        apply(c);
    });
    return combo;
}

// A line's layout holds its two end points (x1, y1, x2, y2), not a box.
QWidget *QtToolkit::makeLine(Control &c, QWidget *parent) {
    const form::ControlLayout &s = c.layout();
    auto *line = new QFrame(parent);
    const bool vertical = s.left == s.width; // x1 == x2
    line->setFrameShape(vertical ? QFrame::VLine : QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    const int x = px(std::min(s.left, s.width)), y = px(std::min(s.top, s.height));
    line->setGeometry(x, y, vertical ? 1 : px(std::abs(s.width - s.left)) + 1,
                      vertical ? px(std::abs(s.height - s.top)) + 1 : 1);
    return line;
}

void QtToolkit::makeTimer(Form &form, QWidget *window, const form::ControlLayout &s) {
    auto *timer = new QTimer(window);
    timer->setObjectName(q(s.name));
    timer->setInterval(s.timerIntervalMs);
    connect(timer, &QTimer::timeout, this, [this, &form] { deliver([&form] { form.tick(); }); });
    timer->start();
    timers_[&form] = timer;
}

QWidget *QtToolkit::makeWidget(Control &c, QWidget *parent) {
    switch (c.kind()) {
    case Kind::Label: return makeLabel(c, parent);
    case Kind::TextBox: return makeTextBox(c, parent);
    case Kind::Frame: return makeFrame(c, parent);
    case Kind::OptionButton: return makeOptionButton(c, parent);
    case Kind::CheckBox: return makeCheckBox(c, parent);
    case Kind::CommandButton: return makeCommandButton(c, parent);
    case Kind::ComboBox: return makeComboBox(c, parent);
    case Kind::Line: return makeLine(c, parent);
    case Kind::Timer: break;
    }
    return nullptr;
}

void QtToolkit::formCreated(Form &form) {
    const form::FormLayout &layout = form.layout();
    auto *window = new FormWindow(*this, form);
    window->setObjectName(q(layout.name));
    window->setWindowTitle(q(layout.title));
    window->setWindowIcon(QIcon(QStringLiteral(":/corvil-switcher.png")));
    window->setFixedSize(px(layout.clientWidth), px(layout.clientHeight));
    window->setFont(fontOf(layout.font, QApplication::font()));
    windows_[&form] = window;

    // Containers come first in the layout, so the controls inside find their parents.
    std::map<std::string, QWidget *> containers;
    std::vector<std::pair<int, QWidget *>> tabOrder;
    for (auto &owned : form.controls()) {
        Control &c = *owned;
        const form::ControlLayout &s = c.layout();
        if (s.kind == Kind::Timer) {
            makeTimer(form, window, s);
            continue;
        }
        QWidget *parent = containers.count(s.container) ? containers[s.container] : window;
        QWidget *w = makeWidget(c, parent);
        if (s.kind == Kind::Frame) containers[form::qualifiedName(s.name, s.index)] = w;
        w->setObjectName(q(form::qualifiedName(s.name, s.index)));
        w->setFont(fontOf(s.font, parent->font()));
        if (s.kind != Kind::Line) w->setGeometry(px(s.left), px(s.top), px(s.width), px(s.height));
        const bool focusable = form::takesFocus(s.kind);
        w->setFocusPolicy(focusable ? Qt::StrongFocus : Qt::NoFocus);
        // The command buttons draw their caption through an inner label, and
        // the boxes without a caption stand beside the label that says them.
        if (focusable) w->setAccessibleName(q(c.accessibleName()));
        if (focusable) tabOrder.emplace_back(s.tabIndex, w);
        widgets_[&c] = w;
        apply(c);
    }
    std::sort(tabOrder.begin(), tabOrder.end(), [](auto &a, auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabOrder.size(); ++i) QWidget::setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
    nameListsByTheirLabels(form);
}

// A list's name on Linux is read from the label that says it (Qt gives the
// list's own name its current entry): the label above it.
void QtToolkit::nameListsByTheirLabels(Form &form) {
    for (auto &list : form.controls()) {
        if (list->kind() != Kind::ComboBox) continue;
        for (auto &label : form.controls())
            if (label->kind() == Kind::Label && label->text() == list->accessibleName() + ":")
                static_cast<QLabel *>(widget(*label))->setBuddy(widget(*list));
    }
}

void QtToolkit::formDestroyed(Form &form) {
    auto it = windows_.find(&form);
    if (it == windows_.end()) return;
    for (auto &c : form.controls()) widgets_.erase(c.get());
    timers_.erase(&form);
    static_cast<FormWindow *>(it->second)->detached = true;
    it->second->hide();
    it->second->deleteLater();
    windows_.erase(it);
}

void QtToolkit::formShown(Form &form) {
    if (QWidget *w = window(form)) {
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
        w->raise();
        w->activateWindow();
    }
}

void QtToolkit::formHidden(Form &form) {
    if (QWidget *w = window(form)) w->hide();
}

void QtToolkit::focusChanged(Form &, Control *control) {
    if (!control) return;
    if (QWidget *w = widget(*control)) w->setFocus(Qt::OtherFocusReason);
}

void QtToolkit::controlChanged(Control &control) { apply(control); }

void QtToolkit::apply(Control &c) {
    QWidget *w = widget(c);
    if (!w) return;
    const QSignalBlocker block(w);
    w->setEnabled(c.enabled());
    switch (c.kind()) {
    case Kind::Label: {
        auto *label = static_cast<QLabel *>(w);
        label->setText(q(c.text()));
        // A wrapped text that needs another line may grow into the free room
        // below it in its container rather than be cut off.
        const int designed = px(c.layout().height);
        const int room = label->parentWidget()->height() - label->y() - 2;
        const int needed = label->heightForWidth(label->width());
        label->resize(label->width(), std::max(designed, std::min(needed, room)));
        break;
    }
    case Kind::TextBox: static_cast<QLineEdit *>(w)->setText(q(c.text())); break;
    case Kind::Frame:
        if (auto *box = dynamic_cast<QGroupBox *>(w)) box->setTitle(q(c.text()));
        break;
    case Kind::OptionButton:
    case Kind::CheckBox: static_cast<QAbstractButton *>(w)->setChecked(c.value() != 0); break;
    case Kind::CommandButton: static_cast<WrappingButton *>(w)->setCaption(q(c.text())); break;
    case Kind::ComboBox: {
        auto *combo = static_cast<QComboBox *>(w);
        QStringList entries;
        for (const std::string &e : c.entries()) entries << q(e);
        QStringList current;
        for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
        if (current != entries) {
            combo->clear();
            combo->addItems(entries);
        }
        combo->setCurrentIndex(c.listIndex());
        combo->setEditText(q(c.editText()));
        break;
    }
    case Kind::Line:
    case Kind::Timer: break;
    }
}

} // namespace corvil::switcher::qt
