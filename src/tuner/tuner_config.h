// The tuner configuration file: one line per tuner, "name=port&ueitype,ueicode." and whatever
// follows the period ignored.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/text_lines.h"
#include "log/diagnostic_log.h"

namespace tuner {

// A port name has at most this many characters (the caller's buffer holds one more).
constexpr std::size_t kMaxPortNameLength = 9;
// A tuner file larger than this is not read (it is taken as missing).
constexpr std::uint64_t kMaxTunerFileSize = 1024 * 1024;

enum class TunerLineProblem {
  kNone,
  kMissingEquals,
  kMissingAmpersand,
  kMissingComma,
  kMissingPeriod,
  kPortNameTooLong,
};

struct TunerLine {
  std::string name;  // every character before the first "=", spaces included
  std::string port;
  std::string ueitypeText;
  std::string ueicodeText;
  int ueitype = 0;
  int ueicode = 0;
};

// Splits one line (without its line feed) into its fields and converts the two numbers.
TunerLineProblem parseTunerLine(const std::string& line, TunerLine& parsed);

// Decimal conversion as the configuration reads it: leading white space skipped, optional sign,
// digits up to the first other character; no digits give 0. Clamped to the int range.
int decimalValue(const std::string& text);

// Whether the text is a decimal number and nothing else but surrounding white space.
bool isDecimalNumber(const std::string& text);

// One line of a tuner file as the plug-in reads it.
struct TunerFileLine {
  int number = 0;
  std::string text;  // without its line end; the first line without a byte-order mark
  bool byteOrderMarkSkipped = false;
  TunerLineProblem problem = TunerLineProblem::kNone;
  TunerLine parsed;
};

// Hands each line of the open tuner file to visit, in order, until visit returns false;
// onEmptyRead is told of each read that found nothing more (the end of the file).
void walkTunerFile(std::FILE* file, const std::function<bool(const TunerFileLine&)>& visit,
                   const std::function<void()>& onEmptyRead = {});

// The names of the usable lines of the tuner file at path, in order; false when it cannot be
// read.
bool readTunerNames(const std::string& path, std::vector<std::string>& names);
// The usable lines themselves, the first of each name (the one a lookup finds), in one walk.
bool readTunerLines(const std::string& path, std::vector<TunerLine>& lines);

// Why a lookup found no usable line, for the caller that wants to say so.
struct TunerLookup {
  bool fileOpened = false;
  bool outOfMemory = false;
  // The problem of the first skipped line that has the wanted name, if any.
  TunerLineProblem wantedLineProblem = TunerLineProblem::kNone;
  std::string spelled;  // the name as the line found spells it
};

// Looks up the first line for `wanted` in the file at configPath. Returns 1 with comPort (10
// bytes), ueitype and ueicode filled, or 0; lookup, when given, tells why not. With anyCase, as
// lircd matches its remotes: the first line spelt exactly so, else the first whatever its case;
// the file is walked once either way.
int ReadCfgFile(const DiagnosticLog& log, const std::string& configPath, const char* wanted,
                char* comPort, int* ueitype, int* ueicode, TunerLookup* lookup = nullptr,
                bool anyCase = false);

}  // namespace tuner
