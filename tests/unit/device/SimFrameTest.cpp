// The length framing of the simulator's TCP messages.
#include <gtest/gtest.h>

#include "device/sim/SimFrame.h"

namespace qv::sim {
namespace {

TEST(SimFrame, LengthFirstMostSignificantByteFirst) {
    EXPECT_EQ(EncodeFrame(""), std::string(4, '\0'));
    EXPECT_EQ(EncodeFrame("ENUM"), std::string("\0\0\0\x04"
                                               "ENUM",
                                               8));
    EXPECT_EQ(EncodeFrame(std::string(0x10203, 'x')).substr(0, 4),
              std::string("\0\x01\x02\x03", 4));
}

TEST(SimFrame, MessagesComeBackWholeHoweverTheStreamCutsThem) {
    const std::vector<std::string> messages = {"OPEN /dev/sim/hidraw0", "", std::string(33, '\0'),
                                               std::string(70000, 'r')};
    std::string stream;
    for (const auto& m : messages) {
        stream += EncodeFrame(m);
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{4096}, stream.size()}) {
        FrameDecoder decoder;
        std::vector<std::string> got;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            decoder.Feed(std::string_view(stream).substr(at, piece));
            while (auto m = decoder.Next()) {
                got.push_back(*m);
            }
        }
        EXPECT_EQ(got, messages) << "pieces of " << piece;
        EXPECT_FALSE(decoder.Broken());
    }
}

TEST(SimFrame, ALengthBeyondTheLimitBreaksTheStream) {
    FrameDecoder decoder;
    decoder.Feed(EncodeFrame("ok"));
    decoder.Feed(std::string("\x00\x04\x00\x01", 4));  // 256 KiB + 1
    decoder.Feed(EncodeFrame("after"));
    EXPECT_EQ(decoder.Next(), "ok");
    EXPECT_EQ(decoder.Next(), std::nullopt);
    EXPECT_TRUE(decoder.Broken());
    EXPECT_EQ(decoder.Next(), std::nullopt) << "nothing after a broken length is trusted";

    FrameDecoder atLimit;
    atLimit.Feed(EncodeFrame(std::string(kMaxFrameBytes, 'x')));
    EXPECT_EQ(atLimit.Next()->size(), kMaxFrameBytes);
}

}  // namespace
}  // namespace qv::sim
