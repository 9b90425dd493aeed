#include "lirc_protocol.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "common/ascii_case.h"
#include "listeners.h"
#include "tuner/channel_text.h"

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
            "repeat count 21 is out of range (0 to 10)");
  EXPECT_EQ(reply("VERSION", true, {"tunerd 1.0.0"}),
            "BEGIN\nVERSION\nSUCCESS\nDATA\n1\ntunerd 1.0.0\nEND\n");
  EXPECT_EQ(reply("X", false), "BEGIN\nX\nERROR\nEND\n");
}

TEST(LircProtocol, ANumberAfterAButtonIsTheCountAndAnUnknownButtonIsNamed) {
  const SendOnce many = parseSendOnce(parseRequest("SEND_ONCE L. 1 2 3 4 5 6 7 8 9 KEY_1 1"));
  EXPECT_EQ(many.keys.size(), 10u);
  EXPECT_EQ(many.count, 1);
  EXPECT_EQ(parseSendOnce(parseRequest("SEND_ONCE L. 1 2 5")).count, 5);
  const SendOnce unknown = parseSendOnce(parseRequest("SEND_ONCE L. 1 KEY_OK"));
  EXPECT_EQ(unknown.unknownButton, "KEY_OK");
  EXPECT_FALSE(unknown.problem.empty());
}

// The one channel rule, which every face takes from the core.
TEST(ChannelText, OneReaderForEveryWayIn) {
  tuner::Channel channel;
  EXPECT_TRUE(tuner::readChannel("2147483647", channel));
  EXPECT_EQ(channel.major, 2147483647);
  EXPECT_TRUE(tuner::readChannel("7-01", channel));
  EXPECT_EQ(tuner::channelText(channel), "7.01");
  EXPECT_TRUE(tuner::readChannel("4.123456789", channel));
  for (const char* wrong :
       {"2147483648", "4.1234567890", "0", "4.", ".1", "4.1.1", "4-1-", "x", "+4", " 4"}) {
    EXPECT_FALSE(tuner::readChannel(wrong, channel)) << wrong;
  }
}

TEST(LircProtocol, LinesAsLircdTakesThem) {
  const Request crlf = parseRequest("send_once Living. KEY_1\r");
  EXPECT_EQ(crlf.line, "send_once Living. KEY_1\r");  // echoed as it came
  EXPECT_EQ(crlf.words, (std::vector<std::string>{"Living.", "KEY_1"}));
  EXPECT_TRUE(parseRequest(std::string("SEND_ONCE Liv\0ing. KEY_1", 24)).hasNul);
  EXPECT_TRUE(tuner::sameIgnoringCase("living.", "LIVING."));
  EXPECT_FALSE(tuner::sameIgnoringCase("living.", "LIVING"));
  EXPECT_EQ(listedButton(10, "KEY_0"), "000000000000000a KEY_0");
  EXPECT_EQ(listedButton(255, "KEY_EXIT"), "00000000000000ff KEY_EXIT");
}

// Each network against the addresses just inside and just outside it.
TEST(Listeners, AllowedNetworksHoldExactlyTheirAddresses) {
  const auto address = [](const char* text) {
    Address parsed;
    EXPECT_TRUE(parseAddress(text, parsed)) << text;
    return parsed;
  };
  struct Case {
    const char* network;
    const char* first;
    const char* last;
    const char* below;  // null where the network starts at 0.0.0.0
    const char* above;  // null where it ends at 255.255.255.255
  };
  const Case cases[] = {
      {"0.0.0.0/0", "0.0.0.0", "255.255.255.255", nullptr, nullptr},
      {"10.1.2.3/8", "10.0.0.0", "10.255.255.255", "9.255.255.255", "11.0.0.0"},
      {"172.16.9.9/16", "172.16.0.0", "172.16.255.255", "172.15.255.255", "172.17.0.0"},
      {"192.168.3.77/24", "192.168.3.0", "192.168.3.255", "192.168.2.255", "192.168.4.0"},
      {"192.168.3.6/31", "192.168.3.6", "192.168.3.7", "192.168.3.5", "192.168.3.8"},
      {"192.168.3.7/32", "192.168.3.7", "192.168.3.7", "192.168.3.6", "192.168.3.8"},
      {"192.168.3.7", "192.168.3.7", "192.168.3.7", "192.168.3.6", "192.168.3.8"},
      {"fd00::/8", "fd00::", "fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
       "fcff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "fe00::"},
      {"[2001:db8::]/33", "2001:db8::", "2001:db8:7fff:ffff:ffff:ffff:ffff:ffff",
       "2001:db7:ffff:ffff:ffff:ffff:ffff:ffff", "2001:db8:8000::"},
      // An IPv4 client of a dual-stack socket is the same address as on an IPv4 one.
      {"::ffff:10.0.0.0/104", "10.0.0.0", "10.255.255.255", "9.255.255.255", "11.0.0.0"},
  };
  for (const Case& c : cases) {
    Network network;
    ASSERT_TRUE(parseNetwork(c.network, network)) << c.network;
    const std::vector<Network> allowed{network};
    EXPECT_TRUE(mayServe(address(c.first), allowed)) << c.network;
    EXPECT_TRUE(mayServe(address(c.last), allowed)) << c.network;
    if (c.below != nullptr) {
      EXPECT_FALSE(mayServe(address(c.below), allowed)) << c.network;
    }
    if (c.above != nullptr) {
      EXPECT_FALSE(mayServe(address(c.above), allowed)) << c.network;
    }
  }
  // Without --allow, loopback only.
  EXPECT_TRUE(mayServe(address("127.0.0.2"), {}));
  EXPECT_TRUE(mayServe(address("::1"), {}));
  EXPECT_TRUE(mayServe(address("::ffff:127.0.0.1"), {}));
  EXPECT_FALSE(mayServe(address("128.0.0.1"), {}));
  EXPECT_FALSE(mayServe(address("::2"), {}));
  Network ignored;
  for (const char* wrong :
       {"10.0.0.0/33", "10.0.0/8", "10.0.0.0/", "10.0.0.0/-1", "x", "fd00::/129", "[fd00::/8"}) {
    EXPECT_FALSE(parseNetwork(wrong, ignored)) << wrong;
  }
  // An IPv6 address to listen on is written in brackets, so its last group is no port.
  Address listen;
  int port = 0;
  EXPECT_TRUE(parseListen("[::]:8080", listen, port));
  EXPECT_EQ(port, 8080);
  EXPECT_FALSE(listen.isIpv4());
  EXPECT_TRUE(parseListen("8765", listen, port));
  EXPECT_TRUE(isLoopback(listen) && listen.isIpv4());
  for (const char* wrong : {"::1:8080", "[127.0.0.1]:80", "[::1]", "[::1]:", "1.2.3.4:0"}) {
    EXPECT_FALSE(parseListen(wrong, listen, port)) << wrong;
  }
}

}  // namespace
}  // namespace tunerd
