// corvil-switcher: Corvil Switcher on Qt 6 Widgets.
#include <QApplication>

#include "Corvil_0100_Interface.h"
#include "SwitcherApp0100.h"
#include "qt_toolkit.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
const char kUsage[] = "Usage: corvil-switcher [Qt options]\n"
                      "       corvil-switcher --help | --version\n"
                      "Connects to the first Corvil unit found and follows it. Qt's own options are taken,\n"
                      "such as -platform offscreen, -style NAME, -display DISPLAY.\n";

// Qt's own options (QGuiApplication's, QApplication's and the X11 ones),
// with a single or a double dash; those of the first list take a value.
const char *const kQtOptionsWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                           "qmljsdebugger", "qwindowgeometry", "qwindowicon", "qwindowtitle",
                                           "session", "style", "stylesheet", "display", "geometry"};
const char *const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// What is wrong with the command line, or "" when Qt takes all of it.
std::string checkArguments(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.size() < 2 || a[0] != '-') return "this program takes no argument '" + a + "'";
        std::string name = a.substr(a[1] == '-' ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool inlineValue = equals != std::string::npos;
        name = name.substr(0, equals);
        bool known = false;
        for (const char *o : kQtFlags) known = known || (name == o && !inlineValue);
        for (const char *o : kQtOptionsWithValue) {
            if (name != o) continue;
            if (!inlineValue && ++i >= argc) return "the option '" + a + "' needs a value";
            known = true;
        }
        if (!known) return "unknown option '" + a + "'";
    }
    return {};
}
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
    if (const std::string wrong = checkArguments(argc, argv); !wrong.empty()) {
        std::fprintf(stderr, "corvil-switcher: %s\nTry 'corvil-switcher --help' for more information.\n",
                     wrong.c_str());
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvil Switcher"));
    QApplication::setQuitOnLastWindowClosed(false); // Main's loop decides when the program ends
    corvil::switcher::qt::QtToolkit toolkit;
    corvil::switcher::Corvil_0100_Interface corvhid;
    corvil::switcher::SwitcherApp0100 app(toolkit, corvhid);
    return app.Main();
}
