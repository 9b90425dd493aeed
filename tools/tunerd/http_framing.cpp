#include "http_framing.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/ascii_case.h"

namespace tunerd {
namespace {

constexpr std::size_t kMaxTarget = 8192;
constexpr std::size_t kMaxHeaders = 100;
constexpr std::size_t kMaxChunkLine = 1024;
constexpr std::size_t kMaxTrailerLines = 32;

bool sameName(const std::string& a, const char* b) { return tuner::sameIgnoringCase(a, b); }

bool isTokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
         std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool fail(FramingProblem& problem, int status, const std::string& message) {
  problem = FramingProblem{status, message};
  return false;
}

// The head's lines, each without its line end; false for a carriage return inside a line.
bool headLines(const std::string& text, std::vector<std::string>& lines) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\r') != std::string::npos) return false;
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

bool requestLine(const std::string& line, RequestHead& head, FramingProblem& problem) {
  const std::size_t first = line.find(' ');
  const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos) {
    return fail(problem, 400, "the request line is not METHOD PATH HTTP/1.1");
  }
  head.method = line.substr(0, first);
  head.target = line.substr(first + 1, second - first - 1);
  head.version = line.substr(second + 1);
  if (!isToken(head.method) || head.method.size() > 16 ||
      (head.version != "HTTP/1.1" && head.version != "HTTP/1.0")) {
    return fail(problem, 400, "the request line is not METHOD PATH HTTP/1.1");
  }
  if (head.target.size() > kMaxTarget) return fail(problem, 414, "the path is too long");
  if (head.target.empty() || head.target[0] != '/' ||
      !std::all_of(head.target.begin(), head.target.end(),
                   [](char c) { return c > 0x20 && c < 0x7f; })) {
    return fail(problem, 400, "the path must start with / and hold no spaces or control bytes");
  }
  return true;
}

bool headerLine(const std::string& line, RequestHead& head, FramingProblem& problem) {
  if (line[0] == ' ' || line[0] == '\t') {
    return fail(problem, 400, "a header line is folded onto the next");
  }
  const std::size_t colon = line.find(':');
  const std::string name = line.substr(0, colon);
  if (colon == std::string::npos || !isToken(name)) {
    return fail(problem, 400, "a header line is not NAME: VALUE");
  }
  const std::string value = trimmed(line.substr(colon + 1));
  if (std::any_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7f;
      })) {
    return fail(problem, 400, "a header holds control bytes");
  }
  if (head.headers.size() >= kMaxHeaders) return fail(problem, 431, "too many header lines");
  head.headers.emplace_back(name, value);
  return true;
}

// The one length of the body: from Content-Length or chunked encoding, never both.
bool bodyFraming(RequestHead& head, std::size_t maxBody, FramingProblem& problem) {
  std::size_t lengths = 0;
  std::size_t encodings = 0;
  std::size_t hosts = 0;
  std::string length;
  std::string encoding;
  for (const auto& [name, value] : head.headers) {
    if (sameName(name, "Content-Length")) {
      ++lengths;
      length = value;
    } else if (sameName(name, "Transfer-Encoding")) {
      ++encodings;
      encoding = value;
    } else if (sameName(name, "Host")) {
      ++hosts;
    } else if (sameName(name, "Expect")) {
      head.expectsContinue = sameName(value, "100-continue");
    }
  }
  if (hosts > 1 || (hosts == 0 && head.version == "HTTP/1.1")) {
    return fail(problem, 400, "a request names its host once");
  }
  if (lengths > 1) return fail(problem, 400, "a request has one Content-Length header at most");
  if (encodings > 0) {
    if (encodings > 1 || !sameName(encoding, "chunked") || head.version != "HTTP/1.1") {
      return fail(problem, 400, "the only Transfer-Encoding taken is chunked");
    }
    if (lengths > 0) {
      return fail(problem, 400, "a request has a Content-Length or is chunked, not both");
    }
    head.chunked = true;
    return true;
  }
  if (lengths == 0) return true;
  if (length.empty() || length.size() > 10 ||
      length.find_first_not_of("0123456789") != std::string::npos) {
    return fail(problem, 400, "the Content-Length is no number");
  }
  head.contentLength = static_cast<std::size_t>(std::stoull(length));
  if (head.contentLength > maxBody) {
    return fail(problem, 413, "the body is longer than " + std::to_string(maxBody) + " bytes");
  }
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string RequestHead::value(const char* name) const {
  for (const auto& [header, text] : headers) {
    if (sameName(header, name)) return text;
  }
  return std::string();
}

std::string RequestHead::path() const { return target.substr(0, target.find('?')); }

std::size_t headEnd(const std::string& received) {
  std::size_t start = 0;
  while (start < received.size() && (received[start] == '\r' || received[start] == '\n')) {
    ++start;
  }
  for (std::size_t at = received.find('\n', start); at != std::string::npos;
       at = received.find('\n', at + 1)) {
    if (at + 1 < received.size() && received[at + 1] == '\n') return at + 2;
    if (at + 2 < received.size() && received[at + 1] == '\r' && received[at + 2] == '\n') {
      return at + 3;
    }
  }
  return 0;
}

bool parseRequestHead(const std::string& text, std::size_t maxBody, RequestHead& head,
                      FramingProblem& problem) {
  head = RequestHead{};
  std::vector<std::string> lines;
  if (!headLines(text, lines)) return fail(problem, 400, "a bare carriage return in the head");
  auto line =
      std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !l.empty(); });
  if (line == lines.end() || !requestLine(*line, head, problem)) {
    if (problem.status == 0) fail(problem, 400, "no request line");
    return false;
  }
  for (++line; line != lines.end() && !line->empty(); ++line) {
    if (!headerLine(*line, head, problem)) return false;
  }
  return bodyFraming(head, maxBody, problem);
}

ChunkedBody::State ChunkedBody::line(const std::string& text) {
  switch (part_) {
    case Part::kSize: {
      const std::string size = trimmed(text.substr(0, text.find(';')));
      if (size.empty() || size.size() > 8 ||
          !std::all_of(size.begin(), size.end(), [](char c) { return hexDigit(c) >= 0; })) {
        return State::kBad;
      }
      left_ = static_cast<std::size_t>(std::stoul(size, nullptr, 16));
      if (body_.size() + left_ > maxBody_) return State::kTooLong;
      part_ = left_ == 0 ? Part::kTrailer : Part::kData;
      return State::kMore;
    }
    case Part::kDataEnd:
      if (!text.empty()) return State::kBad;
      part_ = Part::kSize;
      return State::kMore;
    case Part::kTrailer:
      if (text.empty()) {
        part_ = Part::kDone;
        return State::kDone;
      }
      if (++left_ > kMaxTrailerLines) return State::kBad;
      return State::kMore;
    case Part::kData:
    case Part::kDone:
      break;
  }
  return State::kBad;
}

ChunkedBody::State ChunkedBody::take(const char* data, std::size_t size, std::size_t& used) {
  used = 0;
  while (used < size && part_ != Part::kDone) {
    if (part_ == Part::kData) {
      const std::size_t n = std::min(left_, size - used);
      body_.append(data + used, n);
      used += n;
      left_ -= n;
      if (left_ == 0) part_ = Part::kDataEnd;
      continue;
    }
    const char c = data[used++];
    if (c != '\n') {
      pending_.push_back(c);
      if (pending_.size() > kMaxChunkLine) return State::kBad;
      continue;
    }
    if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
    if (pending_.find('\r') != std::string::npos) return State::kBad;
    const State state = line(pending_);
    pending_.clear();
    if (state != State::kMore) return state;
  }
  return part_ == Part::kDone ? State::kDone : State::kMore;
}

std::string forwardedRequest(const RequestHead& head, const std::string& body) {
  std::string path = head.path();
  std::string escaped;
  for (char c : path) escaped += c == '%' ? std::string("%25") : std::string(1, c);
  std::string text =
      head.method + " " + escaped + head.target.substr(path.size()) + " " + head.version + "\r\n";
  for (const auto& [name, value] : head.headers) {
    if (sameName(name, "Content-Length") || sameName(name, "Transfer-Encoding") ||
        sameName(name, "Range") || sameName(name, "If-Range") || sameName(name, "Expect")) {
      continue;
    }
    text += name + ": " + value + "\r\n";
  }
  return text + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool decodePathSegment(const std::string& encoded, std::string& decoded) {
  decoded.clear();
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    char c = encoded[i];
    if (c == '%') {
      const int high = i + 2 < encoded.size() ? hexDigit(encoded[i + 1]) : -1;
      const int low = high >= 0 ? hexDigit(encoded[i + 2]) : -1;
      if (low < 0) return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0') return false;
    decoded += c;
  }
  return true;
}

}  // namespace tunerd
