// Test stand-ins for the plug-in's seams: an in-memory registry whose keys
// and values the test sees and can make fail, and a log that keeps its lines.
#pragma once

#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <algorithm>
#include <functional>

#include "dialogs.h"
#include "eq_abi.h"
#include "seams.h"

namespace corvil::plugin::fakes {

class FakeRegistry : public Registry {
public:
    std::map<std::string, std::map<std::string, std::string>> keys; // path -> name -> stored bytes
    std::set<std::string> refuseCreate;                              // paths that cannot be created
    long openError = 2, valueError = 2, moreDataError = 234, createError = 5;
    int openKeys = 0;

    long open(const std::string &path, Key &key) override {
        auto it = keys.find(path);
        if (it == keys.end()) return openError;
        key = &it->second;
        ++openKeys;
        return 0;
    }
    long create(const std::string &path, Key &key) override {
        if (refuseCreate.count(path)) return createError;
        key = &keys[path];
        ++openKeys;
        return 0;
    }
    long query(Key key, const std::string &name, char *out, std::uint32_t &size) override {
        auto &values = *static_cast<std::map<std::string, std::string> *>(key);
        auto it = values.find(name);
        if (it == values.end()) return valueError;
        if (it->second.size() > size) return moreDataError;
        std::memcpy(out, it->second.data(), it->second.size());
        size = static_cast<std::uint32_t>(it->second.size());
        return 0;
    }
    long setString(Key key, const std::string &name, const char *text, std::uint32_t bytes) override {
        (*static_cast<std::map<std::string, std::string> *>(key))[name] = std::string(text, bytes);
        return 0;
    }
    void close(Key) override { --openKeys; }
};

class RecordingLog : public Log {
public:
    std::vector<std::string> lines;
    void log(std::int32_t level, const std::string &line) override {
        lines.push_back((level == kLogLevel ? "" : "level " + std::to_string(level) + ": ") + line);
    }
};

// The analyser host's callback interface, as a table the plug-in calls.
struct FakeHost;
// What the plug-in holds: the interface, and beside it the way back to the host.
struct HostInterface {
    IEqHost iface;
    FakeHost *host;
};

struct FakeHost {
    HostInterface binding{{table()}, this};
    IEqHost &iface = binding.iface;
    FakeHost() = default;
    FakeHost(const FakeHost &) = delete;
    std::set<std::string> usedNames;
    std::vector<std::string> messages; // "style: text"
    std::vector<std::int32_t> configureRequests;
    std::function<void(std::int32_t)> duringConfigure; // the host re-entering the plug-in
    std::function<void()> duringMessage;
    int nameQueries = 0;

    static FakeHost &of(IEqHost *self) { return *reinterpret_cast<HostInterface *>(self)->host; }
    static EqResult EQ_CALL showMessage(IEqHost *self, const char *text, std::uint32_t style, std::int32_t *result) {
        FakeHost &h = of(self);
        h.messages.push_back(std::to_string(style) + ": " + text);
        if (result) *result = 1;
        if (h.duringMessage) h.duringMessage();
        return 0;
    }
    static EqResult EQ_CALL requestConfigure(IEqHost *self, std::int32_t unitId) {
        FakeHost &h = of(self);
        h.configureRequests.push_back(unitId);
        if (h.duringConfigure) h.duringConfigure(unitId);
        return 0;
    }
    static EqResult EQ_CALL isUnitNameUsed(IEqHost *self, const char *name, std::int32_t) {
        FakeHost &h = of(self);
        ++h.nameQueries;
        return h.usedNames.count(name) ? 1 : 0;
    }
    static const IEqHostVtbl *table() {
        static const IEqHostVtbl t = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, showMessage,
                                      nullptr, nullptr, nullptr, requestConfigure, isUnitNameUsed};
        return &t;
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
    int focused = 0;
    int result = 0;

    void setTitle(const std::string &t) override { title = t; }
    void setItemText(int id, const std::string &text) override { texts[id] = text; }
    std::string itemText(int id) override { return texts[id]; }
    void listClear(int id) override {
        lists[id].clear();
        selections[id] = -1;
    }
    void listAdd(int id, const std::string &entry) override {
        auto &l = lists[id];
        l.insert(std::upper_bound(l.begin(), l.end(), entry), entry);
    }
    int listFind(int id, const std::string &entry) override {
        auto &l = lists[id];
        auto it = std::find(l.begin(), l.end(), entry);
        return it == l.end() ? -1 : static_cast<int>(it - l.begin());
    }
    void listSelect(int id, int index) override { selections[id] = index; }
    int listSelection(int id) override { return selections.count(id) ? selections[id] : -1; }
    std::string listEntry(int id, int index) override {
        auto &l = lists[id];
        return index >= 0 && index < static_cast<int>(l.size()) ? l[static_cast<std::size_t>(index)] : std::string();
    }
    void focus(int id) override { focused = id; }
    void end(int r) override { result = r; }
};

class FakeDialogs : public Dialogs {
public:
    std::function<void(FakeDialogView &, DialogHandler &)> user; // what the user does in the dialog
    std::vector<int> templates;
    FakeDialogView last;

    int runModal(int templateId, HostWindow, DialogHandler &handler) override {
        templates.push_back(templateId);
        last = FakeDialogView{};
        handler.onInit(last);
        if (user) user(last, handler);
        return last.result ? last.result : DialogHandler::kIdCancel;
    }
};

} // namespace corvil::plugin::fakes
