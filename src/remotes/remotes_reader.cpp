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
#include "remotes/remote_list_builder.h"
#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"
#include "remotes/remotes_tokens.h"

namespace tuner {
namespace {

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
