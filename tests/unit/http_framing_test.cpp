#include "http_framing.h"

#include <gtest/gtest.h>

#include "web_guard.h"

namespace tunerd {
namespace {

int statusOf(const std::string& head, RequestHead& parsed) {
  FramingProblem problem;
  return parseRequestHead(head, 16384, parsed, problem) ? 0 : problem.status;
}

TEST(HttpFraming, AHeadFramesOneRequestOrNone) {
  const std::string start = "POST /api/tuners/A%2FB./tune HTTP/1.1\r\nHost: x\r\n";
  RequestHead head;
  ASSERT_EQ(statusOf("\r\n" + start + "Content-Length: 12\r\n\r\n", head), 0);
  EXPECT_EQ(head.contentLength, 12u);
  EXPECT_EQ(head.path(), "/api/tuners/A%2FB./tune");
  ASSERT_EQ(statusOf(start + "transfer-encoding:  Chunked \r\nExpect: 100-continue\n\n", head), 0);
  EXPECT_TRUE(head.chunked && head.expectsContinue);
  EXPECT_EQ(statusOf("GET / HTTP/1.0\r\n\r\n", head), 0);  // 1.0 needs no Host
  const std::pair<const char*, int> refused[] = {
      {"GET / HTTP/1.1\r\n\r\n", 400},  // no Host
      {"GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},
      {"GET /  HTTP/1.1\r\nHost: x\r\n\r\n", 400},
      {"GET http://x/ HTTP/1.1\r\nHost: x\r\n\r\n", 400},
      {"GET / HTTP/2\r\nHost: x\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: x\rX: y\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nHost: x\x01\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\ncontent-length: 1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: +1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n",
       400},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", 400},
      {"POST / HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 16385\r\n\r\n", 413},
  };
  for (const auto& [text, status] : refused) EXPECT_EQ(statusOf(text, head), status) << text;
}

TEST(HttpFraming, HeadsEndAtTheirEmptyLineAndBodiesAtTheirLastChunk) {
  EXPECT_EQ(headEnd("GET / HTTP/1.1\r\nHost: x\r\n"), 0u);
  EXPECT_EQ(headEnd("\r\nGET / HTTP/1.1\r\n\r\nGET"), 20u);
  EXPECT_EQ(headEnd("GET / HTTP/1.1\n\nX"), 16u);
  const std::string chunked = "4;name=x\r\nWiki\r\n5\r\npedia\r\n0\r\nTrailer: 1\r\n\r\nNEXT";
  ChunkedBody body(100);
  std::size_t used = 0;
  EXPECT_EQ(body.take(chunked.data(), 10, used), ChunkedBody::State::kMore);
  EXPECT_EQ(body.take(chunked.data() + 10, chunked.size() - 10, used), ChunkedBody::State::kDone);
  EXPECT_EQ(body.body(), "Wikipedia");
  EXPECT_EQ(chunked.substr(10 + used), "NEXT");
  for (const std::string bad : {"zz\r\n", "4\r\nWikiX\r\n", "123456789\r\n"}) {
    ChunkedBody broken(100);
    EXPECT_EQ(broken.take(bad.data(), bad.size(), used), ChunkedBody::State::kBad) << bad;
  }
  ChunkedBody small(8);
  EXPECT_EQ(small.take("9\r\n", 3, used), ChunkedBody::State::kTooLong);
}

TEST(HttpFraming, TheLibrarySeesThePathAsSentAndNoRanges) {
  RequestHead head;
  ASSERT_EQ(statusOf("GET /a%2Fb?q=%41 HTTP/1.1\r\nHost: x\r\nRange: bytes=0-\r\n"
                     "Transfer-Encoding: chunked\r\n\r\n",
                     head),
            0);
  EXPECT_EQ(forwardedRequest(head, "{}"),
            "GET /a%252Fb?q=%41 HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}");
  std::string name;
  EXPECT_TRUE(decodePathSegment("Living%20room%2F2.", name));
  EXPECT_EQ(name, "Living room/2.");
  for (const char* bad : {"a%00b", "a%2", "a%zz", "%"}) {
    EXPECT_FALSE(decodePathSegment(bad, name)) << bad;
  }
}

TEST(WebGuard, TheTokenIsABearerTokenComparedWhole) {
  EXPECT_TRUE(carriesToken("Bearer abc", "abc"));
  EXPECT_TRUE(carriesToken("bearer abc", "abc"));
  for (const char* wrong : {"", "Bearer ", "Bearer ab", "Bearer abcd", "Basic abc", "abc"}) {
    EXPECT_FALSE(carriesToken(wrong, "abc")) << wrong;
  }
  EXPECT_FALSE(carriesToken("Bearer ", ""));
}

}  // namespace
}  // namespace tunerd
