// The emulator's firmware model, a host connection's session and the
// command language, under a test clock; lines from bytes that come in pieces.
#include <gtest/gtest.h>

#include <algorithm>

#include "commands.h"
#include "line_splitter.h"
#include "session.h"
#include "unit_model.h"

using namespace corvil::emulator;
using Report = UnitModel::Report;

namespace {

// A unit whose reports are kept as they are sent.
struct RecordedUnit {
    UnitModel unit;
    std::vector<Report> sent;
    explicit RecordedUnit(UnitConfig config = {}) : unit(config, 0) {
        unit.onReport = [this](const Report &r) { sent.push_back(r); };
    }
};

TEST(UnitModel, ReportsAlternateEveryPeriodAndAtOnceAfterAChange) {
    RecordedUnit r;
    for (std::int64_t t : {19, 20, 40, 60}) r.unit.advance(t);
    r.unit.route(2, 7, 61);
    EXPECT_EQ(r.sent, (std::vector<Report>{{3, 0, 0, 0, 0}, {4, 0, 0, 0, 0}, {3, 0, 0, 0, 0}, {3, 7, 0, 0, 0}}))
        << "settings and auto-sequencing alternate; a change is sent at once, channel 2 first";

    r.unit.setSilenced(true);
    r.unit.advance(1000);
    r.unit.setPad(1, 3, true);
    EXPECT_EQ(r.sent.size(), 4u) << "nothing while silenced";
}

TEST(UnitModel, OutputReportsApplyWith255LeavingAChannelAloneAndTheSerialIsFeatureReport1) {
    RecordedUnit r;
    UnitModel &unit = r.unit;
    unit.receiveOutputReport({3, 2, 5, 0, 0}, 0);
    unit.receiveOutputReport({3, 255, 9, 0x10, 0x01}, 0); // undefined values change nothing
    EXPECT_EQ(unit.describeOutputs(), "count=2 last=03 ff 09 10 01");
    unit.receiveOutputReport({4, 0x0F, 0xF0, 0x02, 0x84}, 0);
    EXPECT_EQ(r.sent.back(), (Report{4, 0x0F, 0xF0, 0x02, 0x84}));

    EXPECT_EQ(unit.getFeature(1), (std::array<std::uint8_t, 6>{1, 'E', 'M', 'U', '0', '1'}));
    EXPECT_FALSE(unit.getFeature(2));
    const std::uint8_t bad[] = {2, 'A', 'B', 'C', 'D', 'E'}, good[] = {1, 'A', 0, 'C', 'D', ' '};
    EXPECT_FALSE(unit.setFeature(bad, 6));
    EXPECT_TRUE(unit.setFeature(good, 6));
    EXPECT_EQ(unit.describeState(), "input1=5 input2=2 pads1=0x01 pads2=0x10 seqinputs1=0xf0 seqinputs2=0x0f "
                                    "seqcontrol1=0x84 seqcontrol2=0x02 serial=A\\x00CD\\x20");
}

TEST(UnitModel, AutoSequencingStepsThroughIncludedInputsInRisingOrder) {
    RecordedUnit r(UnitConfig{.reportPeriodMs = 1000000});
    UnitModel &unit = r.unit;
    unit.route(1, 5, 0);
    unit.setSequenceInputs(1, 0b1000'0110, 0); // inputs 2, 3, 8
    unit.setSequenceInterval(1, 2, 0);         // 1.0 s
    EXPECT_EQ(unit.nextDue(), 1000000) << "nothing steps while bit 7 is clear";
    unit.setSequencing(1, true, 0);
    std::vector<int> steps;
    for (std::int64_t t = 0; t <= 4000; t += 100) {
        const auto before = unit.input(1);
        unit.advance(t);
        if (unit.input(1) != before) steps.push_back(unit.input(1));
    }
    EXPECT_EQ(steps, (std::vector<int>{8, 2, 3, 8}));
    EXPECT_EQ(r.sent.back()[2], 8) << "each step is reported";

    // An empty mask or a zero interval code stops it.
    unit.setSequenceInterval(1, 0, 5000);
    unit.advance(20000);
    EXPECT_EQ(unit.input(1), 8);
}

// What a host connection is sent: each report at once while the host keeps
// up, the newest 32 (then the caught-up mark) once it has taken the others,
// and, while the channel is full, nothing lost that a handle's queue keeps.
TEST(Session, PushesEveryReportAndKeepsOnlyTheNewestForAHostThatFellBehind) {
    namespace wire = corvhid::wire;
    UnitModel unit({}, 0);
    std::vector<Report> got;
    Session::Sent channel = Session::Sent::Ok;
    Session session(unit, [&](const Report &m) {
        if (channel == Session::Sent::Ok) got.push_back(m);
        return channel;
    });
    auto numbered = [](std::uint32_t n) { return Report{3, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)}; };
    // What the host is sent of reports first..last, and the caught-up mark after reports held.
    auto pushed = [&](std::uint32_t first, std::uint32_t last, bool held) {
        std::vector<Report> messages;
        for (std::uint32_t n = first; n <= last; ++n)
            messages.push_back(Report{wire::kInputReport, 3, numbered(n)[1], numbered(n)[2]});
        if (held) messages.push_back({wire::kCaughtUp});
        return messages;
    };
    for (std::uint32_t n = 1; n <= 300; ++n) ASSERT_TRUE(session.onReport(numbered(n)));
    EXPECT_EQ(got, pushed(1, wire::kPushWindow, false)) << "no more than the window past the host's count";

    got.clear();
    EXPECT_TRUE(session.onMessage(wire::encodeTaken(wire::kPushWindow + 1), 0)) << "a count beyond what was sent";
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(session.onMessage(wire::encodeTaken(wire::kPushWindow), 0));
    EXPECT_EQ(got, pushed(300 - wire::kQueueDepth + 1, 300, true));

    // A full channel: reports wait (the newest 32) until there is room.
    got.clear();
    channel = Session::Sent::Full;
    for (std::uint32_t n = 301; n <= 340; ++n) ASSERT_TRUE(session.onReport(numbered(n)));
    EXPECT_TRUE(session.waitsForRoom());
    channel = Session::Sent::Ok;
    ASSERT_TRUE(session.onRoom());
    EXPECT_EQ(got, pushed(309, 340, true));
    ASSERT_TRUE(session.onReport(numbered(341)));
    EXPECT_EQ(got.back(), pushed(341, 341, false)[0]) << "at once again";

    channel = Session::Sent::Failed;
    EXPECT_FALSE(session.onReport(numbered(342)));
}

TEST(Commands, AnswersAndRefusals) {
    Bench bench;
    bench.units.push_back(std::make_unique<UnitModel>(UnitConfig{}, 0));
    bench.plugged.push_back(true);
    std::vector<std::pair<std::size_t, bool>> plugs;
    bench.onPlug = [&](std::size_t u, bool p) { plugs.emplace_back(u, p); };
    bool quit = false;
    auto run = [&](const std::string &line) { return bench.execute(line, 0, quit); };

    for (const char *line : {"route 0 1 8", "pad 0 2 1 on", "seq-inputs 0 2 0x81", "seq-interval 0 2 127", "seq 0 2 on"})
        EXPECT_EQ(run(line), "ok") << line;
    const std::string state = "ok input1=8 input2=0 pads1=0x00 pads2=0x01 seqinputs1=0x00 seqinputs2=0x81 "
                              "seqcontrol1=0x00 seqcontrol2=0xff serial=EMU01";
    EXPECT_EQ(run("state 0"), state);
    EXPECT_EQ(run("outputs 0"), "ok count=0 last=-");

    for (const char *line : {"", "fly 0", "route 1 1 1", "route 0 3 1", "route 0 1 9", "route 0 1", "route 0 1 1 1",
                             "pad 0 1 0 on", "pad 0 1 1 maybe", "seq-inputs 0 1 256", "seq-inputs 0 1 0x",
                             "seq-interval 0 1 128", "seq 0 1", "raw 0", "raw 0 3", "raw 0 zz", "route -0 1 1", "state",
                             "silence 0", "route 0 1 +1", "raw 0 -1", "raw 0 +f", "raw 0 0x", "seq-inputs 0 1 0x+5",
                             "seq-inputs 0 1 0x-1", "seq-interval 0 1 0x 1"}) {
        const std::string answer = run(line);
        EXPECT_EQ(answer.rfind("error: ", 0), 0u) << line << " -> " << answer;
    }
    EXPECT_EQ(run("state 0"), state) << "bad commands change nothing";

    // help lists on one line the commands --help lists (the package check
    // holds those to the manual page).
    const std::string help = run("help"), list = commandList();
    EXPECT_EQ(help.rfind("ok route U O I; pad U O I on|off; seq-inputs U O MASK; ", 0), 0u) << help;
    EXPECT_EQ(std::count(help.begin(), help.end(), ';') + 1, std::count(list.begin(), list.end(), '\n')) << help;
    EXPECT_EQ(run("fly"), "error: unknown command \"fly\" (help lists the commands)");

    for (const char *line : {"unplug 0", "unplug 0", "plug 0"}) EXPECT_EQ(run(line), "ok") << line;
    EXPECT_EQ(plugs, (std::vector<std::pair<std::size_t, bool>>{{0, false}, {0, true}}));
    EXPECT_FALSE(quit);
    EXPECT_EQ(run("quit"), "ok");
    EXPECT_TRUE(quit);
}

TEST(Commands, TheCommandLine) {
    Options o;
    auto parse = [&](const std::vector<std::string> &args) {
        o = {};
        return parseOptions(args, o);
    };
    EXPECT_EQ(parse({"--serial", "AAA01", "--serial", "BBB02", "--input-length", "0x10"}), "");
    EXPECT_EQ(o.serials, (std::vector<std::string>{"AAA01", "BBB02"}));
    EXPECT_EQ(o.shared.inputLength, 16);
    EXPECT_EQ(parse({"--serial", "AAA01", "--serial", "AAA01"}), "the serial number AAA01 is given twice");
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--colour", "5"}, {"--colour"}, {"--colour", "red"}, {"-x", "1"}})
        EXPECT_EQ(parse(args), "unknown option '" + args[0] + "'");
    EXPECT_EQ(parse({"--report-period-ms", " 5"}), "--report-period-ms takes a number, not \" 5\"");
    EXPECT_EQ(parse({"--version"}), "");
    EXPECT_TRUE(o.version);
}

TEST(LineSplitter, LinesAcrossAndWithinReadsCrLfAndALastLineWithoutItsNewline) {
    corvil::LineSplitter lines;
    auto read = [&](const std::string &bytes) {
        lines.add(bytes.data(), bytes.size());
        std::vector<std::string> whole;
        while (std::optional<std::string> line = lines.next()) whole.push_back(*line);
        return whole;
    };
    using Lines = std::vector<std::string>;
    EXPECT_EQ(read("state 0\r\nrou"), Lines{"state 0"});
    EXPECT_EQ(read("te 0 "), Lines{}) << "half a line waits for the rest";
    EXPECT_EQ(read("1 2\n\na\rb\nqu"), (Lines{"route 0 1 2", "", "a\rb"})) << "only a return before the newline goes";
    EXPECT_EQ(read("it\r"), Lines{});
    EXPECT_EQ(lines.rest(), "quit") << "the last line, though no newline followed it";
    EXPECT_EQ(lines.rest(), std::nullopt);
}

} // namespace
