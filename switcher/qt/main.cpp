// corvil-switcher: Corvil Switcher on Qt 6 Widgets.
#include <QApplication>

#include "Corvil_0100_Interface.h"
#include "SwitcherApp0100.h"
#include "qt_toolkit.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvil Switcher"));
    QApplication::setQuitOnLastWindowClosed(false); // Main's loop decides when the program ends
    corvil::switcher::qt::QtToolkit toolkit;
    corvil::switcher::Corvil_0100_Interface corvhid;
    corvil::switcher::SwitcherApp0100 app(toolkit, corvhid);
    return app.Main();
}
