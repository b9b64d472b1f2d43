// The two modal dialogs: unit configuration (name a host unit and bind it to
// an attached unit by serial) and About, as logic over a dialog seam.
#pragma once

#include <cstdint>
#include <string>

#include "eq_abi.h"

namespace corvil::plugin {

class CCorvilPlugin;

// One modal dialog on the platform, seen by its control ids.
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual void setTitle(const std::string &title) = 0;
    virtual void setItemText(int id, const std::string &text) = 0;
    virtual std::string itemText(int id) = 0;
    // A drop-down list that keeps its entries sorted.
    virtual void listClear(int id) = 0;
    virtual void listAdd(int id, const std::string &entry) = 0;
    virtual int listFind(int id, const std::string &entry) = 0; // exact; -1 when absent
    virtual void listSelect(int id, int index) = 0;
    virtual int listSelection(int id) = 0; // -1: none
    virtual std::string listEntry(int id, int index) = 0;
    virtual void focus(int id) = 0;
    virtual void end(int result) = 0;
};

class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    virtual void onInit(DialogView &view) = 0;
    virtual void onOk(DialogView &view) { view.end(kIdOk); }
    virtual void onCancel(DialogView &view) { view.end(kIdCancel); }
    static constexpr int kIdOk = 1, kIdCancel = 2;
};

// Runs a dialog from one of the plug-in's templates modally; the result is
// the id it ended with. Strings come from the plug-in's own string table.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int runModal(int templateId, HostWindow parent, DialogHandler &handler) = 0;
    virtual std::string loadString(int id) = 0;
};

inline constexpr int kUnitConfigTemplate = 354;
inline constexpr int kAboutTemplate = 355;
inline constexpr int kSerialListId = 1372;
inline constexpr int kNameEditId = 1373;
inline constexpr int kVersionTextId = 1000;
inline constexpr int kProductTextId = 1001;
// The string table entry that holds the plug-in's version text.
inline constexpr int kVersionStringId = 2;

class CUnitConfigDlg : public DialogHandler {
public:
    CUnitConfigDlg(CCorvilPlugin &owner, std::int32_t unitId, std::string unitName, std::string serial)
        : unitName(std::move(unitName)), serial(std::move(serial)), owner_(owner), unitId_(unitId) {}
    void onInit(DialogView &view) override;
    void onOk(DialogView &view) override;

    std::string unitName; // in: the name given; out: the name entered
    std::string serial;   // in: the address's serial; out: the serial chosen

private:
    bool nameUsed(const std::string &name);

    CCorvilPlugin &owner_;
    std::int32_t unitId_;
    std::string initialName_;
};

class CAboutDlg : public DialogHandler {
public:
    explicit CAboutDlg(std::string version) : version_(std::move(version)) {}
    void onInit(DialogView &view) override;
    std::string versionText, productText;

private:
    std::string version_;
};

} // namespace corvil::plugin
