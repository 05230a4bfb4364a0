#include "SimCommand.h"

#include <gtest/gtest.h>

namespace qv::sim {
namespace {

using Verb = SimCommand::Verb;

SimCommand Parsed(const std::string& line) {
    auto result = ParseSimCommand(SplitWords(line));
    if (auto* usage = std::get_if<UsageError>(&result)) {
        ADD_FAILURE() << line << ": " << usage->message;
        return {};
    }
    return std::get<SimCommand>(result);
}

TEST(SimCommandTest, ParsesNumbersAsEachCommandExpects) {
    const SimCommand press = Parsed("press 5 0x78 7");
    EXPECT_EQ(press.verb, Verb::Press);
    EXPECT_EQ(press.numbers, (std::vector<int>{5, 120, 7}));
    EXPECT_TRUE(press.path.empty());

    EXPECT_EQ(Parsed("press 1 2 3 /dev/sim/hidraw2").path, "/dev/sim/hidraw2");

    // Identifiers are hexadecimal with or without 0x, as --vid and --pid are.
    EXPECT_EQ(Parsed("add-foreign 46d 0xC52B").numbers, (std::vector<int>{0x46d, 0xc52b}));

    EXPECT_EQ(Parsed("fault error PicInit1 0").numbers, (std::vector<int>{kPicInit1, 0}));
    EXPECT_EQ(Parsed("fault error 0x1b 2").numbers, (std::vector<int>{kPicStartReceive, 2}));
    EXPECT_EQ(Parsed("fault error 1e 255").numbers, (std::vector<int>{kPicPoll, 255}));
    EXPECT_EQ(Parsed("fault short").numbers, (std::vector<int>{18, 3}));
    EXPECT_EQ(Parsed("fault short 8 2").numbers, (std::vector<int>{8, 2}));
    EXPECT_EQ(Parsed("wait-idle --timeout 3").timeout, std::chrono::seconds(3));
    EXPECT_EQ(Parsed("event removal").numbers, (std::vector<int>{1}));
    EXPECT_EQ(Parsed("event arrival /dev/x").path, "/dev/x");
    EXPECT_EQ(Parsed("fault refuse-open /dev/sim/hidraw0").path, "/dev/sim/hidraw0");
}

TEST(SimCommandTest, RejectsMalformedCommands) {
    for (const char* line : {"",
                             "bogus",
                             "press",
                             "press 1 2",
                             "press 0 1 2",
                             "press 256 1 1",
                             "press -1 1 1",
                             "press 1 2 3 /p extra",
                             "press 1x 2 3",
                             "plug a b",
                             "status now",
                             "add-foreign 1",
                             "add-foreign 10000 1",
                             "add-foreign zz 1",
                             "remove-foreign",
                             "fault",
                             "fault error PicInit1",
                             "fault error nope 1",
                             "fault error 0x100 1",
                             "fault error 0x1c 256",
                             "fault silence now",
                             "fault short 18",
                             "fault short 0 3",
                             "fault melt",
                             "wait-idle 3",
                             "wait-idle --timeout x",
                             "event",
                             "event sideways",
                             "event arrival /dev/x extra",
                             "fault refuse-events 0"}) {
        const auto result = ParseSimCommand(SplitWords(line));
        EXPECT_TRUE(std::holds_alternative<UsageError>(result)) << "'" << line << "'";
    }
}

TEST(SimCommandTest, FaultCommandsAccumulateUntilCleared) {
    Bus bus;
    for (const char* line :
         {"fault silence", "fault error PicVersion 0", "fault short", "fault refuse-open",
          "fault unplug-mid-transfer", "fault refuse-events 5"}) {
        EXPECT_TRUE(ExecuteSimCommand(bus, Parsed(line)).ok) << line;
    }
    const BusFaults& faults = bus.Faults();
    EXPECT_TRUE(faults.firmware.silent);
    EXPECT_EQ(faults.firmware.errorStatus.at(kPicVersion), 0);
    ASSERT_TRUE(faults.shortReports.has_value());
    EXPECT_EQ(faults.shortReports->inputReportByteLength, 18);
    EXPECT_EQ(faults.shortReports->outputReportByteLength, 3);
    EXPECT_TRUE(faults.refuseOpenReceivers);
    EXPECT_TRUE(faults.unplugMidTransfer);
    EXPECT_EQ(bus.EventsRefusal(), 5);
    EXPECT_NE(FormatStatus(bus.Status()).find("faults silence error:0x18=0 short:18/3"),
              std::string::npos);

    EXPECT_TRUE(ExecuteSimCommand(bus, Parsed("fault clear")).ok);
    EXPECT_FALSE(bus.Faults().firmware.silent);
    EXPECT_TRUE(bus.Faults().firmware.errorStatus.empty());
    EXPECT_FALSE(bus.Faults().shortReports.has_value());
    EXPECT_EQ(bus.EventsRefusal(), 0);
    EXPECT_NE(FormatStatus(bus.Status()).find("faults none"), std::string::npos);
}

TEST(SimCommandTest, StatusListsDevicesQueueAndCounts) {
    Bus bus;
    ExecuteSimCommand(bus, Parsed("press 1 2 3"));
    ExecuteSimCommand(bus, Parsed("add-foreign 46d c52b"));
    ExecuteSimCommand(bus, Parsed("add-nonhid"));
    const std::string status = ExecuteSimCommand(bus, Parsed("status")).text;
    EXPECT_NE(status.find("device /dev/sim/hidraw0 receiver 1234:0001 plugged queue=1 open=0\n"),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("device /dev/sim/hidraw1 foreign 046d:c52b plugged open=0\n"),
              std::string::npos);
    EXPECT_NE(status.find("device /dev/sim/ttyACM0 nonhid plugged open=0\n"), std::string::npos);
    EXPECT_NE(status.find("queue 1\n"), std::string::npos);
    EXPECT_NE(status.find("commands PicInit1=0 PicInit2=0 PicVersion=0 PicStartReceive=0 "
                          "PicPoll=0 unknown=0\n"),
              std::string::npos);
    EXPECT_EQ(ExecuteSimCommand(bus, Parsed("queue")).text, "1");
}

TEST(SimCommandTest, ControlFailuresSayWhy) {
    Bus bus;
    EXPECT_FALSE(ExecuteSimCommand(bus, Parsed("plug")).ok) << "already plugged in";
    EXPECT_FALSE(ExecuteSimCommand(bus, Parsed("remove-foreign /dev/sim/hidraw7")).ok);
    EXPECT_TRUE(ExecuteSimCommand(bus, Parsed("remove-foreign all")).ok) << "none is fine";
    EXPECT_FALSE(ExecuteSimCommand(bus, Parsed("remove-nonhid")).ok);
    EXPECT_TRUE(ExecuteSimCommand(bus, Parsed("unplug")).ok);
    const ControlResult lost = ExecuteSimCommand(bus, Parsed("press 1 2 3"));
    EXPECT_FALSE(lost.ok);
    EXPECT_NE(lost.text.find("no receiver is plugged in"), std::string::npos) << lost.text;
    EXPECT_FALSE(ExecuteSimCommand(bus, Parsed("unplug")).ok);
    EXPECT_FALSE(ExecuteSimCommand(bus, Parsed("plug /dev/sim/ttyACM0")).ok);
}

}  // namespace
}  // namespace qv::sim
