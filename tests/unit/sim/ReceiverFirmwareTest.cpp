#include "ReceiverFirmware.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv::sim {
namespace {

std::optional<ReplyFrame> Send(ReceiverFirmware& firmware, std::vector<std::uint8_t> command,
                               const FirmwareFaults& faults = {}) {
    return firmware.Answer(command, faults);
}

TEST(ReceiverFirmwareTest, InitAndVersionCommandsAnswerTheVersionBytes) {
    ReceiverFirmware firmware(12, 34);
    for (const std::vector<std::uint8_t>& command :
         {std::vector<std::uint8_t>{kPicInit1, 0x05, 0x64},
          std::vector<std::uint8_t>{kPicInit2, 0x10, 0xF0},
          std::vector<std::uint8_t>{kPicVersion, 0x00, 0x00}}) {
        const auto reply = Send(firmware, command);
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ((*reply)[0], kStatusSuccess);
        EXPECT_EQ((*reply)[1], command[0]) << "the free byte echoes the command";
        EXPECT_EQ((*reply)[2], 12);
        EXPECT_EQ((*reply)[3], 34);
        for (std::size_t i = 4; i < reply->size(); ++i) {
            EXPECT_EQ((*reply)[i], 0) << "byte " << i;
        }
    }
    const CommandCounts& counts = firmware.Counts();
    EXPECT_EQ(counts.picInit1, 1u);
    EXPECT_EQ(counts.picInit2, 1u);
    EXPECT_EQ(counts.picVersion, 1u);
    EXPECT_EQ(counts.unexpectedParams, 0u);
}

TEST(ReceiverFirmwareTest, DefaultVersionIsOneOhFive) {
    ReceiverFirmware firmware;
    const auto reply = Send(firmware, {kPicVersion, 0, 0});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ((*reply)[2], 1);
    EXPECT_EQ((*reply)[3], 5);
}

TEST(ReceiverFirmwareTest, PollHandsOutEachCodeOnceInOrderThenZero) {
    ReceiverFirmware firmware;
    firmware.Press({5, 120, 7});
    firmware.Press({200, 0, 255});
    EXPECT_EQ(firmware.QueueLength(), 2u);

    auto first = Send(firmware, {kPicPoll, 4, 4});
    auto second = Send(firmware, {kPicPoll, 4, 4});
    auto empty = Send(firmware, {kPicPoll, 4, 4});
    ASSERT_TRUE(first && second && empty);
    EXPECT_EQ((*first)[0], kStatusSuccess);
    EXPECT_EQ((std::vector<int>{(*first)[2], (*first)[3], (*first)[4]}),
              (std::vector<int>{5, 120, 7}));
    EXPECT_EQ((std::vector<int>{(*second)[2], (*second)[3], (*second)[4]}),
              (std::vector<int>{200, 0, 255}));
    EXPECT_EQ((*empty)[0], kStatusSuccess);
    EXPECT_EQ((*empty)[2], 0) << "Data[0] = 0 means nothing received";
    EXPECT_EQ(firmware.QueueLength(), 0u);
    EXPECT_EQ(firmware.Counts().picPoll, 3u);
    EXPECT_EQ(firmware.Counts().codesDelivered, 2u);
}

TEST(ReceiverFirmwareTest, StartReceiveSucceedsWithoutData) {
    ReceiverFirmware firmware;
    firmware.Press({9, 9, 9});
    const auto reply = Send(firmware, {kPicStartReceive, 2, 4});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ((*reply)[0], kStatusSuccess);
    EXPECT_EQ((*reply)[2], 0);
    EXPECT_EQ(firmware.QueueLength(), 1u) << "only a poll takes a code";
}

TEST(ReceiverFirmwareTest, UnknownCommandGetsErrorStatus) {
    ReceiverFirmware firmware;
    const auto reply = Send(firmware, {0x42, 1, 2});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ((*reply)[0], kStatusUnknownCommand);
    EXPECT_NE((*reply)[0], kStatusSuccess);
    EXPECT_EQ(firmware.Counts().unknown, 1u);
}

TEST(ReceiverFirmwareTest, MissingOrWrongParametersAreAnsweredButCounted) {
    ReceiverFirmware firmware;
    const auto shortFrame = Send(firmware, {kPicInit1});  // parameters read as 0
    ASSERT_TRUE(shortFrame.has_value());
    EXPECT_EQ((*shortFrame)[0], kStatusSuccess);
    Send(firmware, {kPicPoll, 4, 5});
    Send(firmware, {kPicPoll, 4, 4});
    EXPECT_EQ(firmware.Counts().unexpectedParams, 2u);
}

TEST(ReceiverFirmwareTest, SilenceSwallowsCommandsAndKeepsTheQueue) {
    ReceiverFirmware firmware;
    firmware.Press({1, 2, 3});
    FirmwareFaults silent;
    silent.silent = true;
    EXPECT_FALSE(Send(firmware, {kPicPoll, 4, 4}, silent).has_value());
    EXPECT_FALSE(Send(firmware, {kPicInit1, 5, 0x64}, silent).has_value());
    EXPECT_EQ(firmware.QueueLength(), 1u);
    EXPECT_EQ(firmware.Counts().unanswered, 2u);
    EXPECT_EQ(firmware.Counts().picPoll, 1u) << "a swallowed command was still received";

    const auto reply = Send(firmware, {kPicPoll, 4, 4});
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ((*reply)[2], 1);
}

TEST(ReceiverFirmwareTest, ErrorStatusHitsOnlyTheChosenCommandAndKeepsCodes) {
    ReceiverFirmware firmware;
    firmware.Press({7, 8, 9});
    FirmwareFaults faults;
    faults.errorStatus[kPicPoll] = 2;

    const auto poll = Send(firmware, {kPicPoll, 4, 4}, faults);
    ASSERT_TRUE(poll.has_value());
    EXPECT_EQ((*poll)[0], 2);
    EXPECT_EQ((*poll)[2], 0) << "an error reply carries no code";
    EXPECT_EQ(firmware.QueueLength(), 1u);

    const auto version = Send(firmware, {kPicVersion, 0, 0}, faults);
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ((*version)[0], kStatusSuccess);

    const auto later = Send(firmware, {kPicPoll, 4, 4});
    ASSERT_TRUE(later.has_value());
    EXPECT_EQ((*later)[2], 7);
}

TEST(ReceiverFirmwareTest, PowerOffLosesQueuedCodes) {
    ReceiverFirmware firmware;
    firmware.Press({1, 1, 1});
    firmware.PowerOff();
    EXPECT_EQ(firmware.QueueLength(), 0u);
}

}  // namespace
}  // namespace qv::sim
