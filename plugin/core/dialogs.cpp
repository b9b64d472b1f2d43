#include "dialogs.h"

#include "CCorvilPlugin.h"

namespace corvil::plugin {

namespace {
// The host is trusted to report a free name eventually; should it never,
// the search stops and the user types a name.
constexpr int kNameSearchLimit = 10000;
} // namespace

bool CUnitConfigDlg::nameUsed(const std::string &name) {
    IEqHost *host = owner_.host();
    return host && host->vtbl->IsUnitNameUsed(host, name.c_str(), unitId_) != 0;
}

void CUnitConfigDlg::onInit(DialogView &view) {
    view.setTitle("Tolvane Corvil Configuration");
    if (unitName.empty()) {
        for (int n = 1; n <= kNameSearchLimit; ++n) {
            const std::string proposal = "TL Corvil " + std::to_string(n);
            if (!nameUsed(proposal)) {
                unitName = proposal;
                break;
            }
        }
    }
    view.setItemText(kNameEditId, unitName);
    initialName_ = unitName;

    view.listClear(kSerialListId);
    view.listAdd(kSerialListId, "?????");
    for (int i = 0; i < owner_.unitCount(); ++i) view.listAdd(kSerialListId, owner_.serial(i));
    int selected = view.listFind(kSerialListId, serial);
    if (selected < 0) selected = view.listFind(kSerialListId, "?????");
    view.listSelect(kSerialListId, selected);
    view.focus(kIdOk);
}

void CUnitConfigDlg::onOk(DialogView &view) {
    const std::string name = view.itemText(kNameEditId);
    const int selected = view.listSelection(kSerialListId);
    // Only an entry of the list counts, not text typed into its edit field.
    const std::string chosen = view.listEntry(kSerialListId, selected >= 0 ? selected : 0);
    if (name != initialName_ && (name.empty() || nameUsed(name))) {
        if (IEqHost *host = owner_.host()) {
            std::int32_t result = 0;
            host->vtbl->ShowMessage(host, "Invalid unit name.", 0x30, &result);
        }
        return; // the dialog stays open
    }
    unitName = name;
    serial = chosen;
    view.end(kIdOk);
}

void CAboutDlg::onInit(DialogView &view) {
    view.setTitle("About Orlo Fathom DLL For Tolvane Corvil");
    versionText = "DLL Version " + version_;
    productText = "Tolvane Corvil";
    view.setItemText(kVersionTextId, versionText);
    view.setItemText(kProductTextId, productText);
}

} // namespace corvil::plugin
