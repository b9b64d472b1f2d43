// The unit configuration dialog: name proposal and check, the
// serial list, and what ConfigureUnit hands back to the host.
#include <gtest/gtest.h>

#include "fakes.h"

using namespace corvil::plugin;
using namespace corvil::plugin::fakes;

namespace {

class ConfigureUnitDialog : public ::testing::Test, protected fakes::FakeSurroundings {
protected:
    std::unique_ptr<CCorvilPlugin> plugin;
    // The object, made once the units are there, with the fake host.
    void start() {
        plugin = std::make_unique<CCorvilPlugin>(services);
        plugin->SetHost(&host.iface);
    }
    // Runs ConfigureUnit with the user's actions; gives the result.
    template <std::size_t A, std::size_t N>
    EqResult configure(char (&address)[A], char (&name)[N], std::function<void(FakeDialogView &, DialogHandler &)> user) {
        dialogs.user = std::move(user);
        return plugin->ConfigureUnit(address, A, name, N, 7, nullptr);
    }
    static void pressOk(FakeDialogView &v, DialogHandler &h) { h.onOk(v); }
    // The user types that name, or picks that serial, and presses OK.
    static auto typing(std::string name) {
        return [name](FakeDialogView &v, DialogHandler &h) { v.texts[kNameEditId] = name; h.onOk(v); };
    }
    static auto picking(std::string serial) {
        return [serial](FakeDialogView &v, DialogHandler &h) {
            v.listSelect(kSerialListId, v.listFind(kSerialListId, serial));
            h.onOk(v);
        };
    }
};

TEST_F(ConfigureUnitDialog, TheNameRule) {
    start();
    host.usedNames = {"Kept", "Taken"};
    char address[32] = "SERIAL ?????";
    char name[32] = "Kept";

    // The initial name is accepted even though the host reports it used.
    EXPECT_EQ(configure(address, name, pressOk), 0);
    EXPECT_STREQ(name, "Kept");

    // A used or empty name is refused with the message; the dialog stays open.
    EXPECT_EQ(configure(address, name,
                        [](FakeDialogView &v, DialogHandler &h) {
                            for (const char *refused : {"Taken", ""}) {
                                typing(refused)(v, h);
                                EXPECT_EQ(v.result, 0) << refused;
                            }
                            h.onCancel(v);
                        }),
              -1);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"48: Invalid unit name.", "48: Invalid unit name."}));
    EXPECT_STREQ(name, "Kept") << "cancel leaves the buffers alone";

    // A new name that is free; a name buffer of 8 bytes takes seven characters.
    char small[8] = "";
    EXPECT_EQ(configure(address, small, typing("Main room left")), 0);
    EXPECT_STREQ(small, "Main ro");

    // A host that reports every name used: the search ends, no name proposed.
    host.allNamesUsed = true;
    name[0] = '\0';
    EXPECT_EQ(configure(address, name,
                        [](FakeDialogView &v, DialogHandler &h) {
                            EXPECT_EQ(v.texts[kNameEditId], "");
                            h.onCancel(v);
                        }),
              -1);
}

TEST_F(ConfigureUnitDialog, AddressesInAndOut) {
    addUnit("AB002");
    start();
    char name[16] = "Desk";
    char bad[32] = "serial AB002";
    EXPECT_EQ(configure(bad, name, nullptr), -1);
    EXPECT_TRUE(dialogs.templates.empty()) << "nothing shown for an address that does not parse";

    char address[32] = "SERIAL NOTHR";
    ASSERT_EQ(configure(address, name,
                        [](FakeDialogView &v, DialogHandler &h) {
                            EXPECT_EQ(v.listEntry(kSerialListId, v.listSelection(kSerialListId)), "?????")
                                << "a serial not attached selects ?????";
                            picking("AB002")(v, h);
                        }),
              0);
    EXPECT_STREQ(address, "SERIAL AB002");

    // An address buffer of 12 bytes cannot take it: kept, and still success.
    char tight[12] = "SERIAL ?";
    ASSERT_EQ(configure(tight, name, picking("AB002")), 0);
    EXPECT_STREQ(tight, "SERIAL ?");
}

} // namespace
