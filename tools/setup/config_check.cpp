#include "config_check.h"

#include "button_names.h"
#include "channel_check.h"
#include "host_files.h"
#include "recipe_check.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "blaster/open_blaster.h"
#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/text_lines.h"
#include "common/whole_number.h"
#include "tuner/control_result.h"
#include "tuner/tuner_config.h"

namespace {

// A decimal number as the tuner file's reader takes it (spaces around it, a sign) that fits an int.
bool inIntRange(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\v\f");
  const std::size_t last = text.find_last_not_of(" \t\r\n\v\f");
  std::string number = first == std::string::npos ? "" : text.substr(first, last - first + 1);
  if (!number.empty() && number[0] == '+') number.erase(0, 1);
  int ignored = 0;
  return tuner::parseWholeNumber(number, INT_MIN, INT_MAX, ignored);
}

}  // namespace

std::string probeProblem(const std::string& port, int* code) {
  const tuner::DiagnosticLog noTrace{std::string()};
  tuner::OpenBlaster blaster(tuner::BlasterLink{noTrace, tuner::platformSerial()});
  if (blaster.open(port.c_str())) {
    if (code != nullptr) *code = TUNER_DONE;
    return std::string();
  }
  if (code != nullptr) *code = tuner::portResultCode(blaster.problem());
  return tuner::portProblemSentence(port.c_str(), blaster.problem());
}

int findBlasters(const std::vector<std::string>& given, std::ostream& out, std::ostream& err,
                 bool onlyUnused) {
  const std::vector<std::string> ports = given.empty() ? serialPortNames() : given;
  std::vector<std::string> problems(ports.size());
  std::vector<int> codes(ports.size(), TUNER_DONE);
  std::vector<bool> inUse(ports.size(), false);
  for (std::size_t i = 0; onlyUnused && i < ports.size(); ++i) {
    const std::string device = serialDevice(ports[i]);
    inUse[i] = !device.empty() && anotherProgramHas(device);
  }
  runConcurrently(ports.size(), [&](std::size_t i) {
    if (!inUse[i]) problems[i] = probeProblem(ports[i], &codes[i]);
  });
  int found = 0;
  std::size_t denied = 0;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (codes[i] == TUNER_PERMISSION_DENIED) ++denied;
    if (inUse[i]) {
      out << ports[i] << ": another program has it open: not probed\n";
    } else if (codes[i] == TUNER_DONE) {
      ++found;
      const std::string stable = stablePortName(ports[i]);
      out << ports[i] << (stable.empty() ? "" : " (" + stable + ")")
          << ": blaster answered; a tuner.txt line to start from: Tuner" << found
          << ".=" << ports[i] << "&UEITYPE,UEICODE.\n";
    } else if (!given.empty() || codes[i] == TUNER_PORT_BUSY || codes[i] == TUNER_NO_BLASTER ||
               codes[i] == TUNER_PERMISSION_DENIED) {
      // Of the ports searched for, only those that exist are worth a line.
      out << ports[i] << ": " << problems[i] << "\n";
    }
  }
  if (found == 0) {
    err << "no blaster answered on " << ports.size() << " ports";
    if (denied > 0) err << " (permission denied on " << denied << " of them)";
    err << "\n";
  }
  return found > 0 ? 0 : 1;
}

std::string traceProblem(const std::string& tracePath) {
  tuner::TraceState state = tuner::TraceState::kAbsent;
  tuner::OpenFile trace(tuner::openTrace(tracePath.c_str(), state));
  const std::string is = "the trace " + tracePath + " exists but is not written: it ";
  switch (state) {
    case tuner::TraceState::kAbsent:
    case tuner::TraceState::kWritable:
      return "";
    case tuner::TraceState::kLink:
      return is +
             "is a symbolic link, and the trace is never written through one: delete it "
             "and create a plain empty file";
    case tuner::TraceState::kNotRegular:
      return is + "is not a plain file: delete it and create an empty file";
    case tuner::TraceState::kHardLinked:
      return is + "has more than one name (a hard link): delete it and create an empty file";
    case tuner::TraceState::kNotRootsOwn:
      return is +
             "belongs to another user, and run as root the plug-in writes only a trace that "
             "root owns: run as the recorder's user, or give the file to root";
    case tuner::TraceState::kNotWritable:
      return is +
             "cannot be written by this user: let this user's group write it, or delete it "
             "and create it as this user";
  }
  return "";
}

namespace {

// Why a line that the plug-in would use is still unusable: shadowed, a number it would misread,
// a port name that can never open, or (with probe) no blaster on its port.
std::string lineProblem(const tuner::TunerFileLine& line, bool probe,
                        std::map<std::string, int>& firstLineOfName) {
  const tuner::TunerLine& parsed = line.parsed;
  const auto earlier = firstLineOfName.find(parsed.name);
  if (earlier != firstLineOfName.end()) {
    return "shadowed by line " + std::to_string(earlier->second) + " with the same name";
  }
  firstLineOfName.emplace(parsed.name, line.number);
  for (const auto& [field, text] :
       {std::pair<const char*, const std::string&>{"ueitype", parsed.ueitypeText},
        {"ueicode", parsed.ueicodeText}}) {
    if (!tuner::isDecimalNumber(text))
      return std::string(field) + " \"" + text + "\" is not a number";
    if (!inIntRange(text)) return std::string(field) + " \"" + text + "\" is out of range";
  }
  if (parsed.port.find_first_of(" \t") != std::string::npos) {
    return "port name \"" + parsed.port + "\" holds spaces, so it can never open";
  }
  return probe ? probeProblem(parsed.port) : std::string();
}

bool savedAsUtf16(const std::string& firstLine) {
  return firstLine.compare(0, 2, "\xFF\xFE") == 0 || firstLine.compare(0, 2, "\xFE\xFF") == 0 ||
         firstLine.find('\0') != std::string::npos;
}

}  // namespace

int checkTunerConfig(const std::string& path, bool probe, std::ostream& out, std::ostream& err) {
  tuner::ReadOpen outcome = tuner::ReadOpen::kOpened;
  tuner::OpenFile file(
      tuner::openForReading(path.c_str(), false, tuner::kMaxTunerFileSize, outcome));
  if (file == nullptr) {
    std::error_code ignored;
    err << path;
    if (std::filesystem::is_directory(path, ignored)) {
      err << " is a folder, not a file: name the tuner file\n";
    } else if (outcome == tuner::ReadOpen::kNotRegular) {
      err << " is not a plain file: name the tuner file\n";
    } else if (outcome == tuner::ReadOpen::kTooLarge) {
      err << " is larger than " << tuner::kMaxTunerFileSize / (1024 * 1024)
          << " MiB, which the plug-in never reads\n";
    } else if (std::filesystem::exists(path, ignored)) {
      err << " cannot be read: give your user permission to read it\n";
    } else {
      err << " does not exist: create it, one line per tuner, NAME=PORT&UEITYPE,UEICODE. "
             "(an editor may have saved it as tuner.txt.txt)\n";
    }
    return 1;
  }
  std::map<std::string, int> firstLineOfName;
  bool allUsable = true;
  bool utf16 = false;
  int tuners = 0;
  tuner::walkTunerFile(file.get(), [&](const tuner::TunerFileLine& line) {
    if (line.number == 1 && savedAsUtf16(line.text)) {
      utf16 = true;
      return false;
    }
    out << "line " << line.number << ": ";
    if (line.byteOrderMarkSkipped)
      out << "note: byte-order mark at the start of the file, skipped; ";
    if (line.text.find_first_not_of(" \t") == std::string::npos) {
      out << "blank, ignored\n";
      return true;
    }
    if (line.problem == tuner::TunerLineProblem::kMissingEquals) {
      out << "note: no \"=\", the plug-in skips this line (a comment)\n";
      return true;
    }
    if (line.problem != tuner::TunerLineProblem::kNone) {
      out << "unusable: " << tuner::tunerLinePart(line.problem) << "\n";
      allUsable = false;
      return true;
    }
    ++tuners;
    const tuner::TunerLine& parsed = line.parsed;
    out << "tuner \"" << parsed.name << "\" port " << parsed.port << " ueitype " << parsed.ueitype
        << " ueicode " << parsed.ueicode;
    const std::string unusable = lineProblem(line, probe, firstLineOfName);
    if (!unusable.empty()) {
      out << ": unusable: " << unusable << "\n";
      allUsable = false;
      return true;
    }
    const bool spaced =
        !parsed.name.empty() && (parsed.name.front() == ' ' || parsed.name.back() == ' ');
    out << (probe ? ": blaster answered, ok" : ": ok")
        << (spaced ? " (note: the tuner name begins or ends with a space, which counts)" : "")
        << "\n";
    return true;
  });
  if (utf16) {
    err << path << " is saved as UTF-16 (Unicode): save it again as ANSI or UTF-8\n";
    return 1;
  }
  if (tuners == 0) {
    err << path << " has no tuner lines: add one, NAME=PORT&UEITYPE,UEICODE.\n";
    return 1;
  }
  return allUsable ? 0 : 1;
}

int checkFiles(const std::string& tunerFile, bool probe, std::ostream& out, std::ostream& err) {
  out << "check " << tunerFile << ":\n";
  int status = checkTunerConfig(tunerFile, probe, out, err);
  if (checkRecipes(recipeFileBeside(tunerFile), tunerFile, out) != 0) status = 1;
  if (tuner::checkButtons(tuner::buttonsFileBeside(tunerFile), tunerFile, out) != 0) status = 1;
  if (checkChannels(channelFileBeside(tunerFile), tunerFile, out) != 0) status = 1;
  return status;
}
