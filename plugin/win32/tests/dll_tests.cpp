// Corvil.dll as a host meets it under Wine: registered with regsvr32, made
// through COM, its unit windows and dialogs real windows driven through
// IEqDevice's slot table against emulated units.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "emulator_process.h"
#include "eq_abi.h"
#include "fake_host.h"
#include "windows_of_this_thread.h"

using namespace corvil::plugin;
using corvil::plugin::fakes::FakeHost;
using corvil::testing::EmulatorProcess;

namespace {

const std::string kBin = CORVIL_BIN_DIR;
const std::string kClassKey = "CLSID\\{2496CF40-DD25-11d6-9D58-AA45F1D0DE0A}";
static_assert(sizeof(GUID) == sizeof(EqGuid));
const GUID &guid(const EqGuid &g) { return reinterpret_cast<const GUID &>(g); }

int regsvr32(const std::vector<std::string> &args) {
    return corvil::testing::runProgram("regsvr32", args).exitCode;
}

// A key's default value: its type and text exactly as stored (a terminating
// NUL shows as a last '\0'); type 0 when absent. Read through the wide API,
// which hands back the stored bytes as they are: the narrow one adds a NUL to
// a string stored without one.
struct Value {
    DWORD type = 0;
    std::string bytes;
};
Value readValue(const std::string &key) {
    Value v;
    HKEY k;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return v;
    wchar_t data[1024];
    DWORD size = sizeof data, type = 0;
    if (::RegQueryValueExW(k, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) == ERROR_SUCCESS) {
        v.type = type;
        for (DWORD i = 0; i < size / sizeof(wchar_t); ++i) v.bytes.push_back(static_cast<char>(data[i]));
    }
    ::RegCloseKey(k);
    return v;
}

void click(HWND dialog, int id) { ::SendMessageA(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
std::pair<LONG, LONG> windowSize(HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// What the user does in the configuration dialog, once it is up: run from a
// thread timer, which the plug-in's modal loop dispatches.
std::function<void(HWND)> gDialogStep;
void CALLBACK dialogStep(HWND, UINT, UINT_PTR, DWORD) {
    const auto found = threadWindows("Tolvane Corvil Configuration");
    if (!gDialogStep || found.empty() || !::IsWindowVisible(found.front())) return;
    std::exchange(gDialogStep, nullptr)(found.front());
}

class CorvilDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // FMLOG.dll stands beside Corvil.dll, as in the host's folder.
        char path[8192] = {};
        ::GetEnvironmentVariableA("PATH", path, sizeof path);
        ::SetEnvironmentVariableA("PATH", (kBin + ";" + path).c_str());
        ::CoInitialize(nullptr);
    }
    void SetUp() override {
        corvil::testing::usePrivateRendezvous();
        logPath = kBin + "\\plugin-tests-" + std::to_string(::GetCurrentProcessId()) + ".log";
        ::DeleteFileA(logPath.c_str());
        ::SetEnvironmentVariableA("FMLOG_FILE", logPath.c_str());
        ASSERT_EQ(regsvr32({"/s", kBin + "\\Corvil.dll"}), 0);
        hostWindow = ::CreateWindowExA(0, "STATIC", "FathomLive", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                       nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        while (device && device->vtbl->Release(device) != 0) {
        }
        device = nullptr;
        ::CoFreeUnusedLibraries();
        ::DestroyWindow(hostWindow);
        ::DeleteFileA(logPath.c_str());
    }

    IEqDevice *create() {
        IEqDevice *d = nullptr;
        EXPECT_EQ(::CoCreateInstance(guid(kCLSID_CorvilPlugin), nullptr, CLSCTX_INPROC_SERVER, guid(kIID_IEqDevice),
                                     reinterpret_cast<void **>(&d)),
                  S_OK);
        if (d) d->vtbl->SetHost(d, &host.iface);
        return d;
    }
    HResult canUnloadNow() {
        auto entry = reinterpret_cast<DllEntryFn>(
            reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleA("Corvil.dll"), "DllCanUnloadNow")));
        return entry ? entry() : kE_UNEXPECTED;
    }

    std::string logPath;
    FakeHost host;
    HWND hostWindow = nullptr;
    IEqDevice *device = nullptr;
    EmulatorProcess emulator;
};

TEST_F(CorvilDll, RegistrationWritesTheClassWithTheModulesFullPath) {
    char modulePath[MAX_PATH];
    ::GetFullPathNameA((kBin + "\\Corvil.dll").c_str(), MAX_PATH, modulePath, nullptr);
    const Value server = readValue(kClassKey + "\\InprocServer32");
    EXPECT_EQ(server.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(server.bytes, std::string(modulePath) + '\0') << "the full path, with its NUL";
    EXPECT_EQ(regsvr32({"/u", "/s", kBin + "\\Corvil.dll"}), 0);
    EXPECT_EQ(readValue(kClassKey).type, 0u);

    // A copy under another file name is not the module "Corvil.dll"; in a
    // folder whose path is longer than the 260 characters the module path is
    // read into, the path would come back cut and name another file. Either
    // way registration fails and writes no server path, and the copy, loaded
    // and run, takes back what it wrote.
    wchar_t bin[MAX_PATH];
    ::GetFullPathNameW(std::wstring(kBin.begin(), kBin.end()).c_str(), MAX_PATH, bin, nullptr);
    std::vector<std::wstring> folders{L"\\\\?\\" + std::wstring(bin)};
    while (folders.back().size() < 300) {
        folders.push_back(folders.back() + L"\\" + std::wstring(60, L'd'));
        ASSERT_TRUE(::CreateDirectoryW(folders.back().c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    }
    for (const std::wstring &copy : {folders.front() + L"\\CorvilCopy.dll", folders.back() + L"\\Corvil.dll"}) {
        ASSERT_TRUE(::CopyFileW((folders.front() + L"\\Corvil.dll").c_str(), copy.c_str(), FALSE));
        const std::string path(copy.begin() + 4, copy.end()); // without "\\?\"
        EXPECT_NE(regsvr32({"/s", path}), 0) << path;
        EXPECT_EQ(readValue(kClassKey + "\\InprocServer32").type, 0u) << path;
        EXPECT_EQ(regsvr32({"/u", "/s", path}), 0) << path;
        ::DeleteFileW(copy.c_str());
    }
    for (auto f = folders.rbegin(); f + 1 != folders.rend(); ++f) ::RemoveDirectoryW(f->c_str());
}

// What a host's user sees of a unit window that only real windows show
// (fathom-host's suite takes clicks, front-panel changes and contact lost
// through the same DLL).
TEST_F(CorvilDll, AUnitWindowIsOwnedByTheHostAndKeepsItsDesignSize) {
    ASSERT_TRUE(emulator.start({"--serial", "EMU01"}));
    device = create();
    ASSERT_EQ(device->vtbl->OpenUnitWindow(device, hostWindow, "SERIAL EMU01", "Desk", 3), 0);
    const auto found = threadWindows("Desk");
    ASSERT_EQ(found.size(), 1u);
    HWND w = found.front();
    EXPECT_EQ(::GetWindow(w, GW_OWNER), hostWindow);
    EXPECT_TRUE(::IsWindowVisible(w));
    char item[64] = {};
    HMENU menu = ::GetSystemMenu(w, FALSE);
    ::GetMenuStringA(menu, 1375, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "Configure");
    ::GetMenuStringA(menu, 1374, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ(item, "About TL Corvil");

    // Maximize restores the design size instead, low four bits or not.
    const auto design = windowSize(w);
    for (WPARAM command : {WPARAM{SC_MAXIMIZE}, WPARAM{SC_MAXIMIZE | 2}}) {
        ::SetWindowPos(w, nullptr, 0, 0, 200, 90, SWP_NOMOVE | SWP_NOZORDER);
        ::SendMessageA(w, WM_SYSCOMMAND, command, 0);
        EXPECT_EQ(windowSize(w), design);
        EXPECT_FALSE(::IsZoomed(w));
    }

    // Enter, through a plain message loop, keeps the window open with the
    // keyboard focus in it (fathom-host's tests take Escape the same way).
    click(w, 1314); // a user's click: the window active, an option focused
    ::SetFocus(::GetDlgItem(w, 1314));
    ::PostMessageA(::GetDlgItem(w, 1314), WM_KEYDOWN, VK_RETURN, 0);
    pump(200);
    EXPECT_TRUE(::IsWindowVisible(w));
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(w, 1314));

    // Tab goes from output 1's chosen option to its level list and on to
    // output 2's chosen option (its level list is off: no input); the
    // arrows go round one output's options and level list, never the other's.
    std::vector<int> tabs;
    for (HWND at = ::GetDlgItem(w, 1314); tabs.size() < 4; at = ::GetNextDlgTabItem(w, at, FALSE))
        tabs.push_back(::GetDlgCtrlID(at));
    EXPECT_EQ(tabs, (std::vector<int>{1314, 1331, 1321, 1314}));
    // (Options 1311 to 1319 and level list 1331 are output 1's; 1321 to 1329
    // and 1332 output 2's.)
    const auto output = [](HWND control) {
        const int id = ::GetDlgCtrlID(control);
        return id > 1330 ? id - 1330 : id / 10 % 10;
    };
    for (int first : {1311, 1321}) {
        HWND at = ::GetDlgItem(w, first);
        for (int step = 0; step < 20; ++step) {
            at = ::GetNextDlgGroupItem(w, at, FALSE);
            EXPECT_EQ(output(at), output(::GetDlgItem(w, first))) << "step " << step << " from " << first;
        }
    }
}

// fathom-host's suite takes the configuration dialog's names, sorted list and
// results, and the About dialog, through the same DLL; here, what its watcher
// cannot show.
TEST_F(CorvilDll, TheConfigurationDialogSelectsTheSerialExactly) {
    // Two serials that differ only in letter case: each address selects its own.
    ASSERT_TRUE(emulator.start({"--serial", "EMU02", "--serial", "EMU01", "--serial", "emu01"}));
    device = create();
    for (const std::string serial : {"EMU01", "emu01"}) {
        char address[32];
        std::snprintf(address, sizeof address, "SERIAL %s", serial.c_str());
        char name[8] = "";
        bool shown = false;
        gDialogStep = [&](HWND d) {
            shown = true;
            char selected[16] = {};
            ::SendDlgItemMessageA(d, 1372, CB_GETLBTEXT, ::SendDlgItemMessageA(d, 1372, CB_GETCURSEL, 0, 0),
                                  reinterpret_cast<LPARAM>(selected));
            EXPECT_EQ(std::string(selected), serial);
            EXPECT_EQ(::GetFocus(), ::GetDlgItem(d, IDOK));
            click(d, IDCANCEL);
        };
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, dialogStep);
        EXPECT_EQ(device->vtbl->ConfigureUnit(device, address, sizeof address, name, sizeof name, 4, hostWindow), -1);
        ::KillTimer(nullptr, timer);
        EXPECT_TRUE(shown);
    }
    // The module's unload rule, through its export.
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(device->vtbl->Release(device), 0u);
    device = nullptr;
    EXPECT_EQ(canUnloadNow(), S_OK);
}

} // namespace
