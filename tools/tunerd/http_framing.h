// Where one HTTP request ends and the next begins, decided by tunerd itself before the HTTP
// library sees a byte: a request head taken apart as it was sent (no value percent-decoded),
// framed by one Content-Length or by plain chunked encoding and nothing else, and handed on
// whole, with its body's length, so that no bytes of one request are ever read as another.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tunerd {

// A request that cannot be framed: the status to answer (400, 413, 431), and why. The
// connection is closed after it.
struct FramingProblem {
  int status = 0;
  std::string message;
};

struct RequestHead {
  std::string method;
  std::string target;   // as sent: the path still percent-encoded, then ?query
  std::string version;  // "HTTP/1.1" or "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;  // values as sent, trimmed
  std::size_t contentLength = 0;
  bool chunked = false;
  bool expectsContinue = false;  // Expect: 100-continue

  // The value of the header (names match without regard to case), or empty.
  std::string value(const char* name) const;
  // The path part of the target, still percent-encoded.
  std::string path() const;
};

// The head's text, from the request line to the empty line that ends it (line ends CR LF or
// LF); false, with the problem, for a head that frames no request unambiguously: a bad request
// line, folded or malformed header lines, control bytes, two Content-Length headers or one that
// is no number, a Transfer-Encoding other than chunked, or both; a body longer than maxBody.
bool parseRequestHead(const std::string& text, std::size_t maxBody, RequestHead& head,
                      FramingProblem& problem);

// Where the head ends in what was received: the offset just past its empty line, or 0 while it
// has not ended. Empty lines before the request line (which clients may send between requests)
// are part of the head.
std::size_t headEnd(const std::string& received);

// A chunked body, decoded as its bytes arrive.
class ChunkedBody {
 public:
  enum class State { kMore, kDone, kBad, kTooLong };
  explicit ChunkedBody(std::size_t maxBody) : maxBody_(maxBody) {}
  // Takes what it can of data; used is how much of it belongs to the body.
  State take(const char* data, std::size_t size, std::size_t& used);
  const std::string& body() const { return body_; }

 private:
  enum class Part { kSize, kData, kDataEnd, kTrailer, kDone };
  State line(const std::string& text);

  std::size_t maxBody_;
  Part part_ = Part::kSize;
  std::size_t left_ = 0;  // of the chunk being read
  std::string pending_;   // a line not yet ended
  std::string body_;
};

// The request as the HTTP library is to read it: the same request line (with the path's '%'
// escaped again, so that it reaches the routes as it was sent), the same headers but those of
// framing and ranges, and the body with its length.
std::string forwardedRequest(const RequestHead& head, const std::string& body);

// A path segment percent-decoded; false for an escape that is not two hexadecimal digits or a
// NUL byte, which no name holds.
bool decodePathSegment(const std::string& encoded, std::string& decoded);

}  // namespace tunerd
