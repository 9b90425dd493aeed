#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/text_lines.h"
#include "remotes/heap.h"
#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"

namespace tuner {
namespace {

// Spaces and tabs separate tokens; a stray carriage return or NUL byte counts as one too.
bool isTokenSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\0'; }
// Only these stand between a bit length and its flag: any other byte is the flag itself.
bool isFlagSeparator(char c) { return c == ' ' || c == '\t'; }

// Splits text into tokens separated by spaces and tabs.
std::vector<std::string_view> splitTokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isTokenSeparator(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !isTokenSeparator(text[i])) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

bool parseDecimal(std::string_view token, std::uint32_t& value) {
  if (token.empty()) return false;
  unsigned long long v = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  value = static_cast<std::uint32_t>(v);
  return true;
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A hexadecimal token ("%x": an optional 0x, then hex digits); its low 8 bits are the byte.
bool parseHexByte(std::string_view token, unsigned char& byte) {
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    token.remove_prefix(2);
  }
  if (token.empty()) return false;
  unsigned value = 0;
  for (char c : token) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<unsigned>(digit);
  }
  byte = static_cast<unsigned char>(value & 0xFF);
  return true;
}

struct ParsedPattern {
  std::uint32_t bitLength = 0;
  char flag = 0;
  std::vector<unsigned char> bytes;
};

// Parses "bit_length flag hh hh ..."; the problem it found, or null.
const char* parsePattern(std::string_view text, ParsedPattern& pattern) {
  std::size_t i = 0;
  while (i < text.size() && isTokenSeparator(text[i])) ++i;
  const std::size_t start = i;
  while (i < text.size() && !isTokenSeparator(text[i])) ++i;
  if (i == start) return "pattern without bit length";
  if (!parseDecimal(text.substr(start, i - start), pattern.bitLength)) {
    return "bit length is not a number";
  }
  while (i < text.size() && isFlagSeparator(text[i])) ++i;
  if (i == text.size()) return "pattern without flag";
  pattern.flag = text[i++];
  for (std::string_view token : splitTokens(text.substr(i))) {
    unsigned char byte = 0;
    if (!parseHexByte(token, byte)) return "pattern byte is not hexadecimal";
    pattern.bytes.push_back(byte);
  }
  return nullptr;
}

// Builds the list line by line. Whatever is still being built when it is destroyed (the heap
// ran out) is released.
class ListBuilder {
 public:
  explicit ListBuilder(const DiagnosticLog& log) : log_(log) {}
  ListBuilder(const ListBuilder&) = delete;
  ListBuilder& operator=(const ListBuilder&) = delete;
  ~ListBuilder() {
    discardRemote();
    releaseRemotes(head_);
  }

  // Returns false when the heap ran out.
  bool startRemote(std::string_view name, std::uint32_t carrierFreq, std::uint32_t bitTime) {
    LogMessage(log_, "Add_Remote:Start\n");
    name_ = String_Space(log_, std::string(name).c_str());
    carrierFreq_ = carrierFreq;
    bitTime_ = bitTime;
    inRemote_ = true;
    LogMessage(log_, "Create_Command_List:Start\n");
    return name_ != nullptr;
  }

  bool inRemote() const { return inRemote_; }
  bool hasCommand() const { return commandName_ != nullptr; }

  // Starts a command; it is made and appended once all its patterns are read.
  bool startCommand(std::string_view name, const ParsedPattern* firstPattern) {
    if (!finishCommand()) return false;
    commandName_ = String_Space(log_, std::string(name).c_str());
    if (commandName_ == nullptr) return false;
    if (firstPattern != nullptr) {
      LogMessage(log_, "create_pat_list:Start\n");
      return addPattern(*firstPattern);
    }
    return true;
  }

  bool addPattern(const ParsedPattern& parsed) {
    Pattern* pattern = makePattern(parsed);
    if (pattern == nullptr) return false;
    if (lastPattern_ == nullptr) {
      patterns_ = pattern;
    } else {
      lastPattern_->next = pattern;
    }
    lastPattern_ = pattern;
    return true;
  }

  bool finishRemote() {
    if (!inRemote_) return true;
    if (!finishCommand()) return false;
    Remote* remote = CreateRemote(log_, name_, carrierFreq_, bitTime_, commands_);
    if (remote == nullptr) return false;
    LogMessage(log_, "AddRemote:Start\n");
    if (tail_ == nullptr) {
      head_ = remote;
    } else {
      tail_->next = remote;
    }
    tail_ = remote;
    forgetRemote();
    return true;
  }

  Remote* release() {
    Remote* head = head_;
    head_ = nullptr;
    tail_ = nullptr;
    return head;
  }

 private:
  Pattern* makePattern(const ParsedPattern& parsed) {
    Pattern* pattern = create_pat_node(log_);
    if (pattern == nullptr) return nullptr;
    pattern->bit_length = parsed.bitLength;
    pattern->r_flag = parsed.flag;
    pattern->length = static_cast<std::uint32_t>(parsed.bytes.size());
    pattern->next = nullptr;
    pattern->bytes = byte_space(log_, parsed.bytes.size());
    if (pattern->bytes == nullptr) {
      std::free(pattern);
      return nullptr;
    }
    if (!parsed.bytes.empty()) {
      std::memcpy(pattern->bytes, parsed.bytes.data(), parsed.bytes.size());
    }
    return pattern;
  }

  bool finishCommand() {
    if (commandName_ == nullptr) return true;
    Command* command = CreateCommand(log_, commandName_, patterns_);
    if (command == nullptr) return false;
    LogMessage(log_, "AddCommand:Start\n");
    if (lastCommand_ == nullptr) {
      commands_ = command;
    } else {
      lastCommand_->next = command;
    }
    lastCommand_ = command;
    forgetCommand();
    return true;
  }

  void discardRemote() {
    std::free(commandName_);
    releasePatterns(patterns_);
    std::free(name_);
    releaseCommands(commands_);
    forgetRemote();
  }

  void forgetCommand() {
    commandName_ = nullptr;
    patterns_ = nullptr;
    lastPattern_ = nullptr;
  }

  void forgetRemote() {
    forgetCommand();
    name_ = nullptr;
    commands_ = nullptr;
    lastCommand_ = nullptr;
    inRemote_ = false;
  }

  const DiagnosticLog& log_;
  Remote* head_ = nullptr;
  Remote* tail_ = nullptr;
  bool inRemote_ = false;
  char* name_ = nullptr;
  std::uint32_t carrierFreq_ = 0;
  std::uint32_t bitTime_ = 0;
  Command* commands_ = nullptr;
  Command* lastCommand_ = nullptr;
  // The command being read.
  char* commandName_ = nullptr;
  Pattern* patterns_ = nullptr;
  Pattern* lastPattern_ = nullptr;
};

enum class LineOutcome { kParsed, kSkipped, kOutOfMemory };

class RemotesParser {
 public:
  explicit RemotesParser(const DiagnosticLog& log) : log_(log), builder_(log) {}

  LineOutcome parseLine(std::string_view line, int lineNumber) {
    lineNumber_ = lineNumber;
    if (line.empty()) return endOfBlock();
    if (skippingBlock_) return LineOutcome::kSkipped;
    if (!builder_.inRemote()) return header(line);
    if (line[0] == ' ') return patternLine(line);
    return commandLine(line);
  }

  // The file ended: a remote still open is complete.
  bool finish() { return builder_.finishRemote(); }
  Remote* release() { return builder_.release(); }

 private:
  LineOutcome endOfBlock() {
    skippingBlock_ = false;
    skippingCommand_ = false;
    return builder_.finishRemote() ? LineOutcome::kParsed : LineOutcome::kOutOfMemory;
  }

  LineOutcome header(std::string_view line) {
    const std::vector<std::string_view> tokens = splitTokens(line);
    std::uint32_t carrierFreq = 0;
    std::uint32_t bitTime = 0;
    if (tokens.size() < 3 || !parseDecimal(tokens[1], carrierFreq) ||
        !parseDecimal(tokens[2], bitTime)) {
      skippingBlock_ = true;
      return skip("remote header is not \"name carrier_freq bit_time\"; remote skipped");
    }
    if (tokens.size() > 3) {
      // Typically a file whose lines end in a carriage return alone: it reads as one line.
      skip("text after the bit time skipped");
    }
    return builder_.startRemote(tokens[0], carrierFreq, bitTime) ? LineOutcome::kParsed
                                                                 : LineOutcome::kOutOfMemory;
  }

  LineOutcome commandLine(std::string_view line) {
    skippingCommand_ = false;
    std::size_t start = 0;
    while (start < line.size() && isTokenSeparator(line[start])) ++start;
    if (start == line.size()) return skip("line holds no name");
    std::size_t end = start;
    while (end < line.size() && !isTokenSeparator(line[end])) ++end;
    const std::string_view name = line.substr(start, end - start);
    const std::string_view rest = line.substr(end);
    if (splitTokens(rest).empty()) {
      return builder_.startCommand(name, nullptr) ? LineOutcome::kParsed
                                                  : LineOutcome::kOutOfMemory;
    }
    ParsedPattern pattern;
    if (const char* problem = parsePattern(rest, pattern)) {
      skippingCommand_ = true;
      return skip(std::string(problem) + "; command skipped");
    }
    return builder_.startCommand(name, &pattern) ? LineOutcome::kParsed : LineOutcome::kOutOfMemory;
  }

  LineOutcome patternLine(std::string_view line) {
    if (skippingCommand_) return LineOutcome::kSkipped;
    if (splitTokens(line).empty()) return skip("line holds only white space");
    if (!builder_.hasCommand()) return skip("pattern line without a command");
    ParsedPattern pattern;
    if (const char* problem = parsePattern(line, pattern)) return skip(problem);
    return builder_.addPattern(pattern) ? LineOutcome::kParsed : LineOutcome::kOutOfMemory;
  }

  LineOutcome skip(const std::string& problem) {
    LogMessage(log_, "LoadRemotes:ERR: line %d: %s\n", lineNumber_, problem.c_str());
    return LineOutcome::kSkipped;
  }

  const DiagnosticLog& log_;
  ListBuilder builder_;
  int lineNumber_ = 0;
  bool skippingBlock_ = false;
  bool skippingCommand_ = false;
};

void reportUnreadable(const DiagnosticLog& log, const char* path, ReadOpen outcome) {
  switch (outcome) {
    case ReadOpen::kOpened:
    case ReadOpen::kCreated:
      return;
    case ReadOpen::kCannotCreate:
      LogMessage(log, "LoadRemotes:ERR: FP Null from fopen w\n");
      return;
    case ReadOpen::kCannotOpen:
      LogMessage(log, "LoadRemotes:ERR: FP Null from fopen r\n");
      return;
    case ReadOpen::kNotRegular:
      LogMessage(log, "LoadRemotes:ERR: [%s] is not a regular file, nothing loaded\n", path);
      return;
    case ReadOpen::kTooLarge:
      LogMessage(log, "LoadRemotes:ERR: [%s] is larger than %d bytes, nothing loaded\n", path,
                 static_cast<int>(kMaxRemotesFileSize));
      return;
  }
}

}  // namespace

std::string deviceNameFromPath(const char* path, std::size_t capacity) {
  const char* lastBackslash = std::strrchr(path, '\\');
  const std::string component = lastBackslash != nullptr ? lastBackslash + 1 : path;
  if (component.size() < 3 || capacity == 0) return std::string();
  std::string name = component.substr(0, component.size() - 3);
  if (name.size() > capacity - 1) name.resize(capacity - 1);
  return name;
}

Remote* readRemotes(const DiagnosticLog& log, std::FILE* file) {
  RemotesParser parser(log);
  std::string line;
  int lineNumber = 0;
  bool tooLong = false;
  while (readLineUpTo(file, line, kMaxRemotesLineLength, tooLong)) {
    ++lineNumber;
    if (tooLong) {
      // Never grown without end; what a line that long stood for is unknown, so it is dropped.
      LogMessage(log, "LoadRemotes:ERR: line %d: longer than %d characters; line skipped\n",
                 lineNumber, static_cast<int>(kMaxRemotesLineLength));
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (parser.parseLine(line, lineNumber) == LineOutcome::kOutOfMemory) {
      LogMessage(log, "LoadRemotes:ERR: out of memory at line %d, nothing loaded\n", lineNumber);
      return nullptr;
    }
  }
  if (!parser.finish()) {
    LogMessage(log, "LoadRemotes:ERR: out of memory at the end, nothing loaded\n");
    return nullptr;
  }
  return parser.release();
}

Remote* LoadRemotes(const DiagnosticLog& log, const char* path, char* devName,
                    std::size_t devNameCapacity) {
  LogMessage(log, "LoadRemotes:Start: path [%s]\n", path != nullptr ? path : "");
  devName[0] = '\0';
  if (path == nullptr) return nullptr;
  Remote* first = nullptr;
  try {
    const std::string name = deviceNameFromPath(path, devNameCapacity);
    std::memcpy(devName, name.c_str(), name.size() + 1);

    // Binary: a text-mode read would end at a 0x1A byte, which flags and names may hold. The
    // reader takes CR LF as the line end itself.
    ReadOpen outcome = ReadOpen::kOpened;
    OpenFile file(openForReading(path, true, kMaxRemotesFileSize, outcome));
    reportUnreadable(log, path, outcome);
    if (file != nullptr) first = readRemotes(log, file.get());
  } catch (const std::bad_alloc&) {
    // The reader's own lines and tokens: what was built is released on the way out.
    LogMessage(log, "LoadRemotes:ERR: out of memory, nothing loaded\n");
    reportHeapExhausted();
  }
  LogMessage(log, "LoadRemotes:End: loadedDevName [%s]\n", devName);
  return first;
}

}  // namespace tuner
