#include "lirc_protocol.h"

#include <gtest/gtest.h>

namespace tunerd {
namespace {

TEST(LircProtocol, ButtonsPressTheirKeys) {
  EXPECT_EQ(buttonKey("KEY_0"), 10);
  EXPECT_EQ(buttonKey("key_numeric_0"), 10);
  EXPECT_EQ(buttonKey("7"), 7);
  EXPECT_EQ(buttonKey("KEY_255"), 255);
  EXPECT_EQ(buttonKey("KEY#12"), 12);
  for (const char* none : {"KEY_256", "KEY_00", "KEY_NUMERIC_10", "10", "KEY_", "KEY_-1", ""}) {
    EXPECT_FALSE(buttonKey(none).has_value()) << none;
  }
}

TEST(LircProtocol, SendOnceTakesButtonsAndACount) {
  const SendOnce counted = parseSendOnce(parseRequest("send_once Living. KEY_4 3"));
  EXPECT_EQ(counted.remote, "Living.");
  EXPECT_EQ(counted.keys, (std::vector<int>{4}));
  EXPECT_EQ(counted.count, 3);
  const SendOnce named = parseSendOnce(parseRequest("SEND_ONCE Living. 4 ok"), {{"OK", 11}});
  EXPECT_EQ(named.keys, (std::vector<int>{4, 11}));
  EXPECT_EQ(named.count, 1);
  EXPECT_EQ(parseSendOnce(parseRequest("SEND_ONCE Living. 1 21")).problem,
            "repeat count 21 is out of range (0 to 20)");
  EXPECT_EQ(reply("VERSION", true, {"tunerd 1.0.0"}),
            "BEGIN\nVERSION\nSUCCESS\nDATA\n1\ntunerd 1.0.0\nEND\n");
  EXPECT_EQ(reply("X", false), "BEGIN\nX\nERROR\nEND\n");
}

}  // namespace
}  // namespace tunerd
