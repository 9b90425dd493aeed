#include "web_guard.h"

#include <gtest/gtest.h>

namespace tunerd {
namespace {

TEST(WebGuard, HostMustNameTunerdItself) {
  const std::vector<std::string> names{"recorder.lan"};
  for (const char* host : {"127.0.0.1:8080", "192.168.1.20", "[::1]:8080", "[fe80::1]", "localhost",
                           "LOCALHOST:80", "Recorder.LAN:8080"}) {
    EXPECT_TRUE(hostAllowed(host, names)) << host;
  }
  // A foreign name re-pointed at tunerd, or one that only starts or ends like a known one.
  for (const char* host :
       {"", "evil.example", "evil.example:8080", "localhost.evil.example", "127.0.0.1.evil.example",
        "evil-recorder.lan", "recorder.lan.evil", "localhost:", "localhost:80x", "localhost:123456",
        "[::1]x", "[::1", "[evil]:80"}) {
    EXPECT_FALSE(hostAllowed(host, names)) << host;
  }
}

TEST(WebGuard, ChangesComeOnlyFromTunerdsOwnPageAsJson) {
  const std::string host = "127.0.0.1:8080";
  EXPECT_EQ(stateChangeProblem(host, "", "", "application/json", true), "");
  EXPECT_EQ(stateChangeProblem(host, "HTTP://127.0.0.1:8080", "same-origin",
                               "application/json; charset=utf-8", true),
            "");
  EXPECT_EQ(stateChangeProblem(host, "", "", "", false), "");
  for (const char* origin : {"null", "http://127.0.0.1:8081", "http://127.0.0.1",
                             "https://127.0.0.1:8080", "http://evil.example"}) {
    EXPECT_NE(stateChangeProblem(host, origin, "", "application/json", true), "") << origin;
  }
  // A sibling site (another port of the same name, say) is another site's page too.
  for (const char* site : {"cross-site", "same-site", "Same-Site"}) {
    EXPECT_NE(stateChangeProblem(host, "", site, "application/json", true), "") << site;
  }
  for (const char* type : {"", "text/plain", "application/x-www-form-urlencoded",
                           "multipart/form-data; boundary=x", "application/jsonx"}) {
    EXPECT_NE(stateChangeProblem(host, "", "", type, true), "") << type;
  }
}

}  // namespace
}  // namespace tunerd
