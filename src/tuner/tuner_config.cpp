#include "tuner/tuner_config.h"

#include "common/ascii_case.h"

#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/text_lines.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <new>

namespace tuner {

int decimalValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool isDecimalNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t firstDigit = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == firstDigit) return false;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return i == text.size();
}

TunerLineProblem parseTunerLine(const std::string& line, TunerLine& parsed) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return TunerLineProblem::kMissingEquals;
  parsed.name = line.substr(0, equals);
  const std::size_t ampersand = line.find('&', equals + 1);
  if (ampersand == std::string::npos) return TunerLineProblem::kMissingAmpersand;
  const std::size_t comma = line.find(',', ampersand + 1);
  if (comma == std::string::npos) return TunerLineProblem::kMissingComma;
  const std::size_t period = line.find('.', comma + 1);
  if (period == std::string::npos) return TunerLineProblem::kMissingPeriod;

  parsed.port = line.substr(equals + 1, ampersand - equals - 1);
  parsed.ueitypeText = line.substr(ampersand + 1, comma - ampersand - 1);
  parsed.ueicodeText = line.substr(comma + 1, period - comma - 1);
  if (parsed.port.size() > kMaxPortNameLength) return TunerLineProblem::kPortNameTooLong;
  parsed.ueitype = decimalValue(parsed.ueitypeText);
  parsed.ueicode = decimalValue(parsed.ueicodeText);
  return TunerLineProblem::kNone;
}

namespace {

void logSkippedLine(const DiagnosticLog& log, TunerLineProblem problem, const TunerLine& parsed) {
  switch (problem) {
    case TunerLineProblem::kMissingEquals:
      LogMessage(log, "ReadCfgFile: Missing '='\n");
      break;
    case TunerLineProblem::kMissingAmpersand:
      LogMessage(log, "ReadCfgFile: Missing '&'\n");
      break;
    case TunerLineProblem::kMissingComma:
      LogMessage(log, "ReadCfgFile: Missing ','\n");
      break;
    case TunerLineProblem::kMissingPeriod:
      LogMessage(log, "ReadCfgFile: Missing '.'\n");
      break;
    case TunerLineProblem::kPortNameTooLong:
      LogMessage(log, "ReadCfgFile: Port name too long [%s] for tuner [%s]\n", parsed.port.c_str(),
                 parsed.name.c_str());
      break;
    case TunerLineProblem::kNone:
      break;
  }
}

}  // namespace

void walkTunerFile(std::FILE* file, const std::function<bool(const TunerFileLine&)>& visit,
                   const std::function<void()>& onEmptyRead) {
  TunerFileLine line;
  while (!std::feof(file)) {
    if (!readWholeLine(file, line.text)) {
      if (onEmptyRead) onEmptyRead();
      if (std::ferror(file)) break;
      continue;
    }
    ++line.number;
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    line.byteOrderMarkSkipped = line.number == 1 && skipByteOrderMark(line.text);
    line.parsed = TunerLine{};
    line.problem = parseTunerLine(line.text, line.parsed);
    if (!visit(line)) return;
  }
}

bool readTunerNames(const std::string& path, std::vector<std::string>& names) {
  ReadOpen outcome = ReadOpen::kOpened;
  OpenFile file(openForReading(path.c_str(), false, kMaxTunerFileSize, outcome));
  if (file == nullptr) return false;
  walkTunerFile(file.get(), [&](const TunerFileLine& line) {
    if (line.problem == TunerLineProblem::kNone) names.push_back(line.parsed.name);
    return true;
  });
  return true;
}

bool readTunerLines(const std::string& path, std::vector<TunerLine>& lines) {
  ReadOpen outcome = ReadOpen::kOpened;
  OpenFile file(openForReading(path.c_str(), false, kMaxTunerFileSize, outcome));
  if (file == nullptr) return false;
  walkTunerFile(file.get(), [&](const TunerFileLine& line) {
    const bool first = std::none_of(lines.begin(), lines.end(), [&](const TunerLine& earlier) {
      return earlier.name == line.parsed.name;
    });
    if (line.problem == TunerLineProblem::kNone && first) lines.push_back(line.parsed);
    return true;
  });
  return true;
}

int ReadCfgFile(const DiagnosticLog& log, const std::string& configPath, const char* wanted,
                char* comPort, int* ueitype, int* ueicode, TunerLookup* lookup, bool anyCase) {
  TunerLookup unused;
  if (lookup == nullptr) lookup = &unused;
  *lookup = TunerLookup{};
  LogMessage(log, "ReadCfgFile:Start\n");
  LogMessage(log, "ReadCfgFile:Searching for tuner [%s]\n", wanted);
  int result = 0;
  TunerLine folded;  // the first line of the name in another case, with anyCase
  try {
    // Binary, with CR LF taken as the line end here: a text-mode read would end at a 0x1A byte.
    // Only a regular file: a pipe or a device there would hold the call up or never end.
    ReadOpen outcome = ReadOpen::kOpened;
    OpenFile file(openForReading(configPath.c_str(), false, kMaxTunerFileSize, outcome));
    if (file == nullptr) {
      LogMessage(log, "ReadCfgFile:Err: CfgFile was not opened\n");
    } else {
      lookup->fileOpened = true;
      walkTunerFile(
          file.get(),
          [&](const TunerFileLine& line) {
            if (line.problem != TunerLineProblem::kNone) {
              logSkippedLine(log, line.problem, line.parsed);
              if (line.problem != TunerLineProblem::kMissingEquals && line.parsed.name == wanted &&
                  lookup->wantedLineProblem == TunerLineProblem::kNone) {
                lookup->wantedLineProblem = line.problem;
              }
              return true;
            }
            *ueitype = line.parsed.ueitype;
            *ueicode = line.parsed.ueicode;
            LogMessage(log, "Read [%s] port for tuner [%s]\n", line.parsed.port.c_str(),
                       line.parsed.name.c_str());
            if (line.parsed.name != wanted) {
              if (anyCase && folded.name.empty() && sameIgnoringCase(line.parsed.name, wanted)) {
                folded = line.parsed;
              }
              return true;
            }
            folded = line.parsed;
            result = 1;
            return false;
          },
          [&] { LogMessage(log, "ReadCfgFile:Empty fgets\n"); });
      if (result == 1 || !folded.name.empty()) {
        *ueitype = folded.ueitype;
        *ueicode = folded.ueicode;
        LogMessage(log, "Tuner found  ueitype[%d] ueicode[%d]\n", *ueitype, *ueicode);
        std::memcpy(comPort, folded.port.c_str(), folded.port.size() + 1);
        lookup->spelled = folded.name;
        result = 1;
      }
    }
  } catch (const std::bad_alloc&) {
    LogMessage(log, "ReadCfgFile:Err: out of memory\n");
    lookup->outOfMemory = true;
    result = 0;
  }
  LogMessage(log, "ReadCfgFile:End [%d]\n", result);
  return result;
}

}  // namespace tuner
