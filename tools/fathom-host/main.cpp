// fathom-host.exe: a stand-in for the FathomLive analyser as a host of the
// Corvil plug-in. It creates the plug-in through its registered class
// identifier, answers the plug-in's callbacks, keeps its own units in a
// text file and drives the plug-in from a small window or from a script.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

#include "host.h"
#include "main_window.h"
#include "script.h"
#include "units.h"
#include "words.h"

namespace {

using namespace fathom_host;

const char kUsage[] =
    "usage: fathom-host [--script FILE|-] [--units FILE] [--root KEY] [--section NAME] [--tick-ms N]\n"
    "  --script FILE   run the commands of FILE (- for standard input) instead of waiting for the user\n"
    "  --units FILE    the host's units (default: %APPDATA%\\Tolvane\\fathom-host\\units.txt)\n"
    "  --root KEY      the registry path under HKEY_CURRENT_USER given to LoadSettings and\n"
    "                  SaveSettings (default: Software\\Orlo\\FathomLive)\n"
    "  --section NAME  the section given with it (default: Devices)\n"
    "  --tick-ms N     period of the Tick timer (default: 100)\n"
    "Script commands:\n";

struct Options {
    std::string script, units;
    KeyPath keyPath;
    UINT tickMs = 100;
    bool help = false;
};

bool parseOptions(int argc, char **argv, Options &options, std::string &error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument " + arg;
            return false;
        }
        const std::string value = argv[++i];
        if (arg == "--script") {
            options.script = value;
        } else if (arg == "--units") {
            options.units = value;
        } else if (arg == "--root") {
            options.keyPath.root = value;
        } else if (arg == "--section") {
            options.keyPath.section = value;
        } else if (arg == "--tick-ms") {
            const auto ms = parseNumber(value, 10, 10000);
            if (!ms) {
                error = "--tick-ms takes 10..10000";
                return false;
            }
            options.tickMs = static_cast<UINT>(*ms);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

// A file in the user's application data, %APPDATA%\Tolvane\fathom-host (made
// when missing), where the stand-in FMLOG.dll writes its log too: a program
// installed under Program Files may not write beside itself.
std::string inUserData(const char *file) {
    char appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData))) return file;
    std::string dir = std::string(appData) + "\\Tolvane";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    dir += "\\fathom-host";
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\" + file;
}

// The interactive host: messages in boxes, configuration dialogs for the user.
class WindowUser : public HostUser {
public:
    void attach(Host &host, MainWindow &window) {
        host_ = &host;
        window_ = &window;
    }
    int showMessage(const std::string &text, std::uint32_t style) override {
        // A message box runs its own message loop: the host keeps dispatching.
        return ::MessageBoxA(window_->hwnd(), text.c_str(), "FathomLive", style);
    }
    void requestConfigure(std::int32_t unitId) override {
        host_->configure(unitId, window_->hwnd());
        window_->refresh();
    }

private:
    Host *host_ = nullptr;
    MainWindow *window_ = nullptr;
};

int runInteractive(HINSTANCE instance, UnitStore &units, const Options &options) {
    WindowUser user;
    Host host(units, options.keyPath, user);
    MainWindow window(instance, host, options.tickMs);
    user.attach(host, window);
    std::string error;
    if (!host.create(error)) {
        ::MessageBoxA(window.hwnd(), error.c_str(), "FathomLive", MB_ICONERROR | MB_OK);
        window.close();
        return 1;
    }
    window.refresh();
    window.setTicking(true);
    while (dispatchMessages()) ::WaitMessage();
    return 0;
}

int runScript(HINSTANCE instance, UnitStore &units, const Options &options) {
    LineQueue lines;
    std::string error;
    if (!lines.start(options.script, error)) {
        std::fprintf(stderr, "fathom-host: %s\n", error.c_str());
        return 2;
    }
    ScriptSession session(stdout);
    Host host(units, options.keyPath, session);
    MainWindow window(instance, host, options.tickMs);
    session.attach(host, window);
    return session.run(lines);
}

} // namespace

int main(int argc, char **argv) {
    // Result lines end in a plain line feed, whoever reads them.
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "fathom-host: %s\n%s%s", error.c_str(), kUsage, kScriptCommands);
        return 2;
    }
    if (options.help) {
        std::printf("%s%s", kUsage, kScriptCommands);
        return 0;
    }
    if (options.units.empty()) options.units = inUserData("units.txt");
    UnitStore units(options.units);
    if (!units.load(error)) {
        std::fprintf(stderr, "fathom-host: %s\n", error.c_str());
        return 2;
    }
    if (units.skippedLines() > 0)
        std::fprintf(stderr, "fathom-host: %s: %d lines that hold no unit skipped\n", options.units.c_str(),
                     units.skippedLines());

    // Interactively, a console of our own (started from Explorer) is not wanted.
    if (options.script.empty()) {
        DWORD processes[2];
        if (::GetConsoleProcessList(processes, 2) == 1) ::FreeConsole();
    }
    // The plug-in object lives in this thread's apartment, its window thread.
    if (FAILED(::CoInitialize(nullptr))) {
        std::fprintf(stderr, "fathom-host: CoInitialize failed\n");
        return 1;
    }
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    const int status = options.script.empty() ? runInteractive(instance, units, options)
                                              : runScript(instance, units, options);
    ::CoUninitialize();
    return status;
}
