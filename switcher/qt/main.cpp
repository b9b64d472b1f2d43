// corvil-switcher: Corvil Switcher on Qt 6 Widgets.
#include <QApplication>

#include "Corvil_0100_Interface.h"
#include "SwitcherApp0100.h"
#include "qt_toolkit.h"

#include <cstdio>
#include <cstring>

namespace {
const char kUsage[] = "usage: corvil-switcher [Qt options]\n"
                      "       corvil-switcher --help | --version\n";
} // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvil-switcher %s\n", CORVIL_VERSION);
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvil Switcher"));
    QApplication::setQuitOnLastWindowClosed(false); // Main's loop decides when the program ends
    corvil::switcher::qt::QtToolkit toolkit;
    corvil::switcher::Corvil_0100_Interface corvhid;
    corvil::switcher::SwitcherApp0100 app(toolkit, corvhid);
    return app.Main();
}
