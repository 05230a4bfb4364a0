#include "device/ReceiverProtocol.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(VersionText, MinorPartHasAtLeastTwoDigits) {
    EXPECT_EQ(VersionText(1, 5), "1.05");
    EXPECT_EQ(VersionText(12, 34), "12.34");
    EXPECT_EQ(VersionText(0, 0), "0.00");
    EXPECT_EQ(VersionText(2, 10), "2.10");
    EXPECT_EQ(VersionText(255, 255), "255.255");
}

}  // namespace
}  // namespace qv
