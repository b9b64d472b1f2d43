// Test stand-ins for the plug-in's seams: an in-memory registry whose keys
// and values the test sees and can make fail, and a log that keeps its lines.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "CCorvilPlugin.h"
#include "CUnitDlg.h"
#include "dialogs.h"
#include "fake_host.h"
#include "fake_platform.h"

namespace corvil::plugin::fakes {

class FakeRegistry : public Registry {
public:
    using Values = std::map<std::string, std::string>;       // name -> stored bytes
    std::map<std::string, Values> keys, classes;              // HKEY_CURRENT_USER, HKEY_CLASSES_ROOT: path -> values
    std::set<std::string> refuseCreate;                       // paths that cannot be created
    std::set<std::string> refuseSet;                          // "path|name" values that cannot be set
    int openKeys = 0;
    static constexpr long kNotFound = 2, kMoreData = 234, kDenied = 5;

    std::map<std::string, Values> &hive(Hive h) { return h == Hive::CurrentUser ? keys : classes; }
    long open(Hive h, const std::string &path, Key &key) override {
        auto it = hive(h).find(path);
        return it == hive(h).end() ? kNotFound : opened(path, it->second, key);
    }
    long create(Hive h, const std::string &path, Key &key) override {
        return refuseCreate.count(path) ? kDenied : opened(path, hive(h)[path], key);
    }
    long query(Key key, const std::string &name, char *out, std::uint32_t &size) override {
        auto &values = *static_cast<Open *>(key)->values;
        auto it = values.find(name);
        if (it == values.end()) return kNotFound;
        if (it->second.size() > size) return kMoreData;
        size = static_cast<std::uint32_t>(it->second.copy(out, size));
        return 0;
    }
    long setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) override {
        auto *k = static_cast<Open *>(key);
        if (refuseSet.count(k->path + "|" + name)) return kDenied;
        (*k->values)[name] = std::string(text, bytes);
        return 0;
    }
    void close(Key key) override {
        delete static_cast<Open *>(key);
        --openKeys;
    }
    long remove(Hive h, const std::string &path) override {
        auto &paths = hive(h);
        const auto below = paths.lower_bound(path + "\\");
        if (!paths.count(path)) return kNotFound;
        if (below != paths.end() && below->first.starts_with(path + "\\")) return kDenied; // a subkey
        paths.erase(path);
        return 0;
    }

private:
    struct Open {
        std::string path;
        Values *values;
    };
    long opened(const std::string &path, Values &values, Key &key) {
        key = new Open{path, &values};
        ++openKeys;
        return 0;
    }
};

// The host's log: the lines it was handed, formatted.
class RecordingLog {
public:
    std::vector<std::string> lines;
    RecordingLog() { current() = this; }
    ~RecordingLog() { current() = nullptr; }
    RecordingLog(const RecordingLog &) = delete;
    static void EQ_CDECL entry(std::int32_t level, const char *format, ...) {
        char line[2048];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        if (RecordingLog *log = current())
            log->lines.push_back((level == kLogLevel ? "" : "level " + std::to_string(level) + ": ") + line);
    }

private:
    static RecordingLog *&current() {
        static RecordingLog *log = nullptr;
        return log;
    }
};

// A modal dialog whose user is a script: it sees the controls after the
// dialog's initialisation and presses OK or Cancel through the handler.
class FakeDialogView : public DialogView {
public:
    std::string title;
    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selections;
    int result = 0;

    void setTitle(const std::string &t) override { title = t; }
    void setItemText(int id, const std::string &text) override { texts[id] = text; }
    std::string itemText(int id) override { return texts[id]; }
    void listClear(int id) override { lists[id].clear(), selections[id] = -1; }
    void listAdd(int id, const std::string &entry) override {
        lists[id].insert(std::upper_bound(lists[id].begin(), lists[id].end(), entry), entry);
    }
    int listFind(int id, const std::string &entry) override {
        const auto it = std::find(lists[id].begin(), lists[id].end(), entry);
        return it == lists[id].end() ? -1 : static_cast<int>(it - lists[id].begin());
    }
    void listSelect(int id, int index) override { selections[id] = index; }
    int listSelection(int id) override { return selections.count(id) ? selections[id] : -1; }
    std::string listEntry(int id, int index) override {
        return index >= 0 && index < static_cast<int>(lists[id].size()) ? lists[id][std::size_t(index)] : "";
    }
    void focus(int) override {} // the DLL's tests see where the focus goes
    void end(int r) override { result = r; }
};

class FakeDialogs : public Dialogs {
public:
    std::function<void(FakeDialogView &, DialogHandler &)> user; // what the user does in the dialog
    std::vector<int> templates;
    HostWindow parent = nullptr; // of the last dialog
    FakeDialogView last;

    std::string loadString(int id) override { return id == kVersionStringId ? "5.0.3" : ""; }
    int runModal(int templateId, HostWindow owner, DialogHandler &handler) override {
        templates.push_back(templateId);
        parent = owner;
        last = FakeDialogView{};
        handler.onInit(last);
        if (user) user(last, handler);
        return last.result ? last.result : DialogHandler::kIdCancel;
    }
};

// A window whose client area shrinks when a bar shows, as a real one's does.
class FakeScrollWindow : public ScrollWindow {
public:
    Size area{286, 66}; // the client area with no bar showing
    bool shown[2] = {false, false};
    std::int32_t max[2] = {0, 0}, page[2] = {0, 0}, position[2] = {0, 0};
    Size contentOffset;
    std::function<void()> onSizeChange; // the window forwards size changes

    bool exists() override { return true; }
    Size clientSize() override {
        return {area.cx - (shown[Vertical] ? 17 : 0), area.cy - (shown[Horizontal] ? 17 : 0)};
    }
    bool hasBorderStyle() override { return false; }
    bool hasScrollBarControl(Bar) override { return false; }
    std::int32_t systemBarSize(Bar) override { return 17; }
    bool barShowing(Bar b) override { return shown[b]; }
    void showBar(Bar b, bool show) override {
        if (shown[b] == show) return;
        shown[b] = show;
        if (onSizeChange) onSizeChange();
    }
    bool setBarInfo(Bar b, std::int32_t m, std::int32_t p) override {
        max[b] = m, page[b] = p;
        setBarPosition(b, position[b]); // the position kept within the new limit
        return true;
    }
    void setBarRange(Bar b, std::int32_t m) override { max[b] = m; }
    std::int32_t barPosition(Bar b) override { return position[b]; }
    void setBarPosition(Bar b, std::int32_t p) override { position[b] = std::clamp(p, 0, scrollLimit(b)); }
    std::int32_t scrollLimit(Bar b) override { return std::max(0, max[b] - std::max(page[b] - 1, 0)); }
    bool barEnabled(Bar b) override { return shown[b]; }
    void moveContent(std::int32_t dx, std::int32_t dy) override { contentOffset.cx += dx, contentOffset.cy += dy; }
    void invalidate(bool) override {}
    void updateNow() override {}
    Size toDevice(std::int32_t, Size s) override { return s; }
};

// A unit window that keeps its controls' state, scrolls as a real one, and
// reports as the real one would when it changes size or is destroyed.
class FakeUnitView : public UnitWindowView, public FakeScrollWindow {
public:
    FakeUnitView(UnitWindowEvents &events, std::vector<FakeUnitView *> &live) : events_(events), live_(live) {
        live_.push_back(this);
        onSizeChange = [this] { events_.onSize(); };
    }
    ~FakeUnitView() override { std::erase(live_, this); }

    std::map<int, bool> radios;
    std::map<int, std::vector<std::string>> levels;
    std::map<int, int> selections;
    std::map<int, bool> enabled;
    std::string title;
    Rect rect{100, 100, 390, 190};
    bool visible = false, alive = true;

    // What the window shows: its title, then for each output the inputs whose
    // option is on and its level, "-" for none, in brackets while the level
    // list is disabled: "Desk | 5 Line | [-]".
    std::string display() {
        std::string text = title;
        for (int o = 0; o < 2; ++o) {
            text += " |";
            for (int k = 0; k <= 8; ++k)
                if (radios[(o ? kRadioOutput2 : kRadioOutput1) + k]) text += " " + std::to_string(k);
            const int list = o ? kLevelList2 : kLevelList1, chosen = levelSelection(list);
            const std::string level = chosen < 0 ? "-" : levels[list].at(static_cast<std::size_t>(chosen));
            text += enabled[list] ? " " + level : " [" + level + "]";
        }
        return text;
    }

    bool exists() override { return alive; }
    void destroy() override {
        if (!alive) return;
        events_.onDestroy();
        alive = false;
        std::erase(live_, this);
    }
    void show() override { visible = true; }
    void hide() override { visible = false; }
    void repaintNow() override {}
    void setTitle(const std::string &t) override { title = t; }
    void setRadio(int id, bool on) override { radios[id] = on; }
    bool radio(int id) override { return radios[id]; }
    void levelClear(int id) override { levels[id].clear(); }
    void levelAdd(int id, const std::string &e) override { levels[id].push_back(e); }
    void levelSelect(int id, int index) override { selections[id] = index; }
    int levelSelection(int id) override { return selections.count(id) ? selections[id] : -1; }
    void enable(int id, bool on) override { enabled[id] = on; }
    Rect windowRect() override { return rect; }
    void place(const Rect &r) override { rect = r, events_.onSize(); } // a real window reports its new size at once
    void moveTo(std::int32_t l, std::int32_t t) override { rect = Rect{l, t, l + rect.width(), t + rect.height()}; }
    void resizeNotTopmost(std::int32_t w, std::int32_t h) override {
        place({rect.left, rect.top, rect.left + w, rect.top + h});
    }
    Size clientSize() override {
        area = {rect.width() - 8, rect.height() - 30};
        return FakeScrollWindow::clientSize();
    }
    void hideScrollBars() override {}
    void appendSystemMenu(const std::string &, const std::string &) override {}
    void focusSelf() override {}
    ScrollWindow &scrolling() override { return *this; }

    UnitWindowEvents &events() { return events_; }

private:
    UnitWindowEvents &events_;
    std::vector<FakeUnitView *> &live_;
};

class FakeWindowSystem : public WindowSystem {
public:
    std::vector<FakeUnitView *> live; // windows that exist, in creation order
    std::vector<HostWindow> focused;
    Rect work{0, 0, 1280, 1000};
    bool refuse = false;

    std::unique_ptr<UnitWindowView> createUnitWindow(HostWindow, UnitWindowEvents &events) override {
        if (refuse) return nullptr;
        auto view = std::make_unique<FakeUnitView>(events, live);
        events.onInit(*view);
        return view;
    }
    void focus(HostWindow w) override { focused.push_back(w); }
    Rect workArea() override { return work; }
};

// Everything a plug-in object works with, faked, over a device platform.
struct Surroundings {
    explicit Surroundings(corvhid::Platform &platform) : device(platform) {}
    corvhid::Library device;
    FakeRegistry registry;
    RecordingLog log;
    FakeDialogs dialogs;
    FakeWindowSystem windows;
    FakeHost host;
    Services services{device, registry, &RecordingLog::entry, &dialogs, &windows};
};

// The same over scripted devices.
struct FakeDevices {
    corvhid::FakePlatform fake;
};
struct FakeSurroundings : FakeDevices, Surroundings {
    FakeSurroundings() : Surroundings(fake) {}
    // A unit with that serial number reporting these settings.
    corvhid::FakeInterface &addUnit(const char *serial, std::vector<std::uint8_t> settings = {3, 0, 0, 0, 0}) {
        auto &unit = fake.add(std::string("/fake/") + serial);
        unit.feature = {1, 0, 0, 0, 0, 0};
        std::memcpy(unit.feature.data() + 1, serial, 5);
        unit.standing = std::move(settings);
        return unit;
    }
};

} // namespace corvil::plugin::fakes
