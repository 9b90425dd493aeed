#include "blaster/line_settings.h"

#include <gtest/gtest.h>

namespace tuner {
namespace {

TEST(LineSettings, ModeTextOfThePort) {
  LineSettings s{};
  ASSERT_TRUE(parseModeText("19200,n,8,1", s));
  EXPECT_EQ(s.baudRate, 19200u);
  EXPECT_EQ(s.byteSize, 8);
  EXPECT_EQ(s.parity, kParityNone);
  EXPECT_EQ(s.stopBits, kOneStopBit);
  EXPECT_NE(s.flags & kFlagBinary, 0u);
  EXPECT_EQ(s.flags & kFlagParityCheck, 0u);
  EXPECT_EQ((s.flags & kDtrControlMask) >> kDtrControlShift, kControlEnable);
  EXPECT_EQ((s.flags & kRtsControlMask) >> kRtsControlShift, kControlEnable);
}

TEST(LineSettings, OtherForms) {
  LineSettings s{};
  ASSERT_TRUE(parseModeText("9600,E,7,2,x", s));
  EXPECT_EQ(s.parity, kParityEven);
  EXPECT_EQ(s.byteSize, 7);
  EXPECT_EQ(s.stopBits, kTwoStopBits);
  EXPECT_NE(s.flags & kFlagOutX, 0u);
  ASSERT_TRUE(parseModeText("1200, o, 8, 1.5, p", s));
  EXPECT_EQ(s.parity, kParityOdd);
  EXPECT_EQ(s.stopBits, kOnePointFiveStopBits);
  EXPECT_NE(s.flags & kFlagOutxCtsFlow, 0u);
}

TEST(LineSettings, RejectsMalformedText) {
  LineSettings s{};
  for (const char* bad :
       {"", "19200", "19200,n,8", "19200,q,8,1", "19200,n,9,1", "19200,n,8,3", "19200,n,4,1",
        "fast,n,8,1", "0,n,8,1", "19200,n,8,1,z", "19200,n,8,1,x,y"}) {
    EXPECT_FALSE(parseModeText(bad, s)) << bad;
  }
  EXPECT_FALSE(parseModeText(nullptr, s));
}

}  // namespace
}  // namespace tuner
