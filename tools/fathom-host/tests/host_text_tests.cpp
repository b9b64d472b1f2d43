// The host's unit file and the words of its script lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>

#include "units.h"
#include "words.h"

using namespace fathom_host;

namespace {

std::string tempPath(const char *name) { return ::testing::TempDir() + name; }

// The whole list as one text: "id:name:address | " a unit.
std::string listed(const UnitStore &store) {
    std::string out;
    for (const Unit &u : store.units()) out += std::to_string(u.id) + ":" + u.name + ":" + u.address + " | ";
    return out;
}

} // namespace

TEST(UnitFile, KeepsUnitsAcrossSaveAndLoadAndSaveReplacesTheWholeFile) {
    const std::string path = tempPath("fathom-units-roundtrip.txt");
    std::remove(path.c_str());
    std::string error;
    {
        UnitStore store(path);
        ASSERT_TRUE(store.load(error)) << error; // no file yet: no units
        EXPECT_TRUE(store.units().empty());
        store.add("TL Corvil 1", "SERIAL EMU01");
        store.add("", "SERIAL ?????"); // an unnamed unit stays unnamed
        store.add("Desk\twith tab", "SERIAL EMU02");
        ASSERT_TRUE(store.save(error)) << error;
    }
    UnitStore again(path);
    ASSERT_TRUE(again.load(error)) << error;
    EXPECT_EQ(listed(again), "1:TL Corvil 1:SERIAL EMU01 | 2::SERIAL ????? | 3:Desk with tab:SERIAL EMU02 | ");
    EXPECT_EQ(again.skippedLines(), 0);

    ASSERT_TRUE(again.remove(2));
    EXPECT_FALSE(again.remove(2));
    ASSERT_TRUE(again.remove(3));
    again.find(1)->name = "Renamed";
    ASSERT_TRUE(again.save(error)) << error;
    std::ifstream written(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}),
              "# fathom-host units: id<TAB>name<TAB>address, one unit a line\n1\tRenamed\tSERIAL EMU01\n");
}

TEST(UnitFile, SkipsLinesThatHoldNoUnitAndReadsWindowsLineEnds) {
    const std::string path = tempPath("fathom-units-damaged.txt");
    std::ofstream(path, std::ios::binary) << "# comment\r\n"
                    "4\tStudio\tSERIAL AB123\r\n"
                    "no tabs at all\n"
                    "x\tName\tSERIAL EMU01\n"
                    "5\tonly one tab\n"
                    "4\tDuplicate id\tSERIAL EMU02\n"
                    "\n"
                    "-2\tNegative\tSERIAL ?????\n";
    UnitStore store(path);
    std::string error;
    ASSERT_TRUE(store.load(error)) << error;
    EXPECT_EQ(listed(store), "4:Studio:SERIAL AB123 | -2:Negative:SERIAL ????? | "); // no carriage return left
    EXPECT_EQ(store.skippedLines(), 4);
    // The next id follows the highest, whatever the order.
    EXPECT_EQ(store.add("New", "SERIAL ?????").id, 5);
}

TEST(UnitFile, ANameIsUsedOnlyByAnotherUnitWithExactlyThatName) {
    UnitStore store(tempPath("fathom-units-names.txt"));
    const std::int32_t desk = store.add("Desk", "SERIAL ?????").id;
    const std::int32_t other = store.add("Other", "SERIAL ?????").id;
    EXPECT_FALSE(store.nameUsedByOther("Desk", desk)); // its own name
    EXPECT_TRUE(store.nameUsedByOther("Desk", other));
    EXPECT_TRUE(store.nameUsedByOther("Desk", 999)); // a unit being added
    EXPECT_FALSE(store.nameUsedByOther("desk", other));
    EXPECT_FALSE(store.nameUsedByOther("Desk ", other));
    EXPECT_EQ(store.findByName("Other")->id, other);
    EXPECT_EQ(store.findByName("other"), nullptr);
}

TEST(ScriptWords, SplitsAtBlanksAndReadsQuotedTextsBackAsTheSameWord) {
    std::vector<std::string> w;
    std::string error;
    const auto split = [&](const std::string &line) {
        EXPECT_TRUE(splitWords(line, w, error)) << line;
        return w;
    };
    EXPECT_EQ(split("  configure 2\tname=\"TL Corvil 1\" serial=EMU01  "),
              (std::vector<std::string>{"configure", "2", "name=TL Corvil 1", "serial=EMU01"}));
    EXPECT_EQ(split("add \"\" x\"\"y"), (std::vector<std::string>{"add", "", "xy"}));
    EXPECT_TRUE(split("").empty());
    for (const std::string t : {"", "Desk", "a \"b\" c", "back\\slash", "Z:\\tmp\\x.bmp"})
        EXPECT_EQ(split("x " + quoted(t)), (std::vector<std::string>{"x", t}));
    EXPECT_EQ(quoted(std::string("a\tb\x01", 4)), "\"a\\x09b\\x01\"");
    EXPECT_FALSE(splitWords("add \"Desk", w, error));
    EXPECT_EQ(error, "unterminated quote");
}

TEST(ScriptWords, NumbersAreWholeAndWithinTheirRange) {
    struct Case {
        const char *text;
        std::int64_t low, high;
        std::optional<std::int64_t> value;
    };
    for (const Case &c : {Case{"500", 0, 32767, 500}, {"-32768", -32768, 32767, -32768}, {"+7", 0, 8, 7},
                          {"32768", -32768, 32767, {}}, {"9", 0, 8, {}}, {"3x", 0, 8, {}}, {"", 0, 8, {}},
                          {"-", 0, 8, {}}, {"12345678901234", INT64_MIN, INT64_MAX, {}}}) // at most 12 digits
        EXPECT_EQ(parseNumber(c.text, c.low, c.high), c.value) << c.text;
    EXPECT_EQ(keyValue("name=", "name"), "");
    EXPECT_EQ(keyValue("name=a=b", "name"), "a=b");
    EXPECT_FALSE(keyValue("names=x", "name"));
    EXPECT_FALSE(keyValue("name", "name"));
}
