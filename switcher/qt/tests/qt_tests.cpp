// The Qt windows: the live widgets against the design, real clicks reaching
// the unit, the unit's changes reaching the widgets, and screenshots of the
// three windows (saved under the build tree).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <map>
#include <tuple>

#include "click_script.h"
#include "layout.h"
#include "qt_toolkit.h"

using namespace corvil::switcher;
using corvil::form::Control;
using corvil::form::Form;
using corvil::form::Kind;
using corvil::testing::EmulatorProcess;
using qt::px;

namespace {

class QtWindows : public ::testing::Test {
public:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    void TearDown() override { app.mainForm().unload(); }

    EmulatorProcess emulator;
    qt::QtToolkit toolkit;
    Corvil_0100_Interface corvhid{CORVHID_LIBRARY_PATH};
    SwitcherApp0100 app{toolkit, corvhid};

    template <typename W = QWidget> W *widget(Form &form, const std::string &name, int index = -1) {
        return qobject_cast<W *>(toolkit.window(form)->findChild<QWidget *>(
            QString::fromStdString(corvil::form::qualifiedName(name, index))));
    }
};

TEST_F(QtWindows, LiveWidgetsFollowTheDescription) {
    ASSERT_TRUE(corvil::switcher::testing::startWithEveryWindow(app, emulator));
    for (const auto &[form, _, designedWindow] : corvil::switcher::testing::windows(app)) {
        QWidget *window = toolkit.window(*form);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->windowTitle().toStdString(), designedWindow.title);
        EXPECT_EQ(window->size(), QSize(px(designedWindow.clientWidth), px(designedWindow.clientHeight)));
        for (const auto &c : designedWindow.controls) {
            if (c.kind == Kind::Line || c.kind == Kind::Timer) continue;
            QWidget *w = widget(*form, c.name, c.index);
            ASSERT_NE(w, nullptr) << form->name() << " " << c.name << "(" << c.index << ")";
            const QRect designed(px(c.left), px(c.top), px(c.width), px(c.height));
            if (c.kind == Kind::Label) { // a label may grow downwards to show its whole text
                EXPECT_EQ(w->geometry().topLeft(), designed.topLeft()) << c.name;
                EXPECT_EQ(w->width(), designed.width()) << c.name;
                EXPECT_GE(w->height(), designed.height()) << c.name;
            } else {
                EXPECT_EQ(w->geometry(), designed) << c.name;
            }
            const corvil::form::Font font = c.font.name.empty() ? designedWindow.font : c.font;
            if (!font.name.empty()) {
                EXPECT_EQ(std::tuple(w->font().family().toStdString(), w->font().pointSizeF(), w->font().bold()),
                          std::tuple(font.name, font.size, font.bold)) << c.name;
            }
            if (corvil::switcher::testing::fixedCaption(c)) {
                // Nothing cut, at whatever scale the screen has: the caption
                // fits the box the design gives it, wrapped as it is shown.
                auto *label = static_cast<QLabel *>(w);
                EXPECT_EQ(label->text().toStdString(), c.caption);
                EXPECT_LE(label->heightForWidth(px(c.width)), px(c.height)) << form->name() << " " << c.caption;
            }
        }
    }
    // The interval lists' times keep their point under a decimal-comma locale
    // (QtWindows.UnderADecimalCommaLocale runs this test so).
    auto *times = widget<QComboBox>(app.autoSequencingForm(), "cChan2Time");
    EXPECT_EQ(times->itemText(1).toStdString() + " " + times->itemText(18).toStdString(), "0.5 seconds 9.0 seconds");
    // Each option button's centre is level with its row label's centre.
    Form &main = app.mainForm();
    for (int r = 1; r <= 9; ++r) {
        QWidget *button = widget(main, "Option" + std::to_string(r), 0);
        QWidget *label = widget(main, "Label1", r - 1);
        const int buttonCentre = button->mapTo(toolkit.window(main), button->rect().center()).y();
        EXPECT_NEAR(buttonCentre, label->geometry().center().y(), 1) << r;
    }
    // The tab order: the display boxes first (index 1 first), then the option buttons.
    QWidget *w = widget(main, "Text1", 1);
    std::vector<std::string> chain;
    for (int i = 0; i < 5; ++i) {
        chain.push_back(w->objectName().toStdString());
        do w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || w->parent() == nullptr);
    }
    EXPECT_EQ(chain, (std::vector<std::string>{"Text1(1)", "Text1(0)", "Option1(0)", "Option2(0)", "Option3(0)"}));
}

// What a screen reader reads through Qt's accessibility interfaces (the bus
// itself is met by screen_reader_test.py): every reachable control's name,
// role and checked state; a list named by the label above it; and a screen
// reader's action on an option button or check box is the user's click, which
// reaches the unit.
TEST_F(QtWindows, ScreenReadersReadEachControlsNameRoleAndState) {
    ASSERT_TRUE(corvil::switcher::testing::startWithEveryWindow(app, emulator));
    ASSERT_TRUE(corvil::switcher::testing::runUntil(app, [&] { return app.padsLoaded && app.autoSeqLoaded; }));
    const std::map<Kind, QAccessible::Role> roles{{Kind::CommandButton, QAccessible::Button},
                                                  {Kind::OptionButton, QAccessible::RadioButton},
                                                  {Kind::CheckBox, QAccessible::CheckBox},
                                                  {Kind::TextBox, QAccessible::EditableText},
                                                  {Kind::ComboBox, QAccessible::ComboBox}};
    std::map<std::pair<Form *, std::string>, QAccessibleInterface *> heard;
    // A list is read out by its label, whose caption ends in a colon.
    corvil::switcher::testing::forEachFocusable(app, ":", [&](Form &form, Control &c, const std::string &where) {
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(toolkit.widget(c));
        if (!a) return std::string("no accessible interface");
        const auto labels = a->relations(QAccessible::Label);
        if (c.kind() == Kind::ComboBox && labels.size() != 1) return std::string("not one label");
        const auto name = (c.kind() == Kind::ComboBox ? labels[0].first : a)->text(QAccessible::Name).toStdString();
        EXPECT_EQ(a->role(), roles.at(c.kind())) << where;
        if (auto *button = qobject_cast<QAbstractButton *>(toolkit.widget(c)); button && button->isCheckable()) {
            EXPECT_EQ(a->state().checked, button->isChecked()) << where;
        }
        heard[{&form, name}] = a;
        return name;
    });
    // Each name is its own control's: its action reaches the unit as that
    // control's click (on the wire, output channel 2 first).
    const std::tuple<Form *, const char *, const char *> actions[] = {
        {&app.mainForm(), "Input 3 to Output Channel 2", "ok count=1 last=03 03 ff 00 00"},
        {&app.attenuatorForm(), "Input 2 Output Channel 2", "ok count=2 last=03 ff ff 02 00"},
        {&app.autoSequencingForm(), "Input 4 Output Channel 1", "ok count=3 last=04 00 08 00 00"}};
    for (const auto &[form, name, written] : actions) {
        QAccessibleInterface *a = heard.at({form, name});
        ASSERT_TRUE(a->actionInterface()) << name;
        a->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        app.pass();
        EXPECT_EQ(emulator.command("outputs 0"), written) << name;
        EXPECT_TRUE(a->state().checked) << name;
    }
}

// The shared session, clicked with QTest's real mouse clicks.
class QtDesk : public corvil::switcher::testing::Desk {
public:
    explicit QtDesk(QtWindows &suite) : t_(suite) {}
    QWidget *widget(Form &form, const std::string &name, int index) { return t_.widget(form, name, index); }
    void click(Form &form, const std::string &name, int index) override {
        QTest::mouseClick(widget(form, name, index), Qt::LeftButton);
    }
    std::string text(Form &form, const std::string &name, int index) override {
        QWidget *w = widget(form, name, index);
        if (auto *label = qobject_cast<QLabel *>(w)) return label->text().toStdString();
        if (auto *edit = qobject_cast<QLineEdit *>(w)) return edit->text().toStdString();
        if (auto *combo = qobject_cast<QComboBox *>(w)) return combo->currentText().toStdString();
        return {};
    }
    bool checked(Form &form, const std::string &name, int index) override {
        auto *button = qobject_cast<QAbstractButton *>(widget(form, name, index));
        return button && button->isChecked();
    }
    bool hasFocus(Form &form, const std::string &name, int index) override {
        return QApplication::focusWidget() == widget(form, name, index);
    }
    void focus(Form &form, const std::string &name, int index) override { widget(form, name, index)->setFocus(); }
    bool active(Form &form) override { return QApplication::activeWindow() == t_.toolkit.window(form); }
    void activate(Form &form) override { t_.toolkit.window(form)->activateWindow(); }
    void minimise(Form &form) override { t_.toolkit.window(form)->showMinimized(); }
    bool minimised(Form &form) override { return t_.toolkit.window(form)->isMinimized(); }
    void close(Form &form) override { t_.toolkit.window(form)->close(); }
    void screenshots() override {
        QDir().mkpath(SCREENSHOT_DIR);
        for (const auto &[form, name, _] : corvil::switcher::testing::windows(t_.app)) {
            // At twice the scale (QT_SCALE_FACTOR=2) the same windows are saved as 192 dpi.
            QWidget *window = t_.toolkit.window(*form);
            const QString dpi = window->devicePixelRatioF() > 1.5 ? "-192dpi" : "";
            EXPECT_TRUE(window->grab().save(QString(SCREENSHOT_DIR) + "/qt-" + name.c_str() + dpi + ".png")) << name;
        }
    }

private:
    QtWindows &t_;
};

TEST_F(QtWindows, RealClicksReachTheUnitAndTheUnitReachesTheWidgets) {
    QtDesk desk(*this);
    corvil::switcher::testing::runClickScript(app, desk, "QTE01");
}

TEST_F(QtWindows, TheStopMessageBelongsToTheMainWindowAndTheTimerIsStopped) {
    ASSERT_TRUE(emulator.start({}));
    // Once in step a handler fails; the stop message is looked at, then dismissed.
    bool failed = false, timerActive = true;
    QWidget *owner = nullptr;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!failed) {
            if (!app.syncComplete) return;
            failed = true;
            toolkit.deliver([] { throw std::runtime_error("a handler failed"); });
            return;
        }
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            owner = box->parentWidget();
            timerActive = toolkit.window(app.mainForm())->findChild<QTimer *>("Timer1")->isActive();
            box->done(QMessageBox::Ok);
        }
    });
    probe.start(20);
    EXPECT_EQ(app.Main(), 1);
    EXPECT_EQ(owner, toolkit.window(app.mainForm()));
    EXPECT_FALSE(timerActive);
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// QtCore now and then leaves one block of its own unreleased at exit on a busy
// machine, allocated with no frame of ours on the stack. Leaks through QtGui,
// QtWidgets or our own code are still reported.
extern "C" const char *__lsan_default_suppressions() { return "leak:libQt6Core.so\n"; }
#endif

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
