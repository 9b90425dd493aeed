#include "config_check.h"

#include "host_files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>

#include "blaster/port_setup.h"
#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/text_lines.h"
#include "tuner/tuner_config.h"

namespace {

const char* problemText(tuner::TunerLineProblem problem) {
  switch (problem) {
    case tuner::TunerLineProblem::kMissingEquals:
      return "no \"=\" after the tuner name";
    case tuner::TunerLineProblem::kMissingAmpersand:
      return "no \"&\" after the port name";
    case tuner::TunerLineProblem::kMissingComma:
      return "no \",\" after the ueitype";
    case tuner::TunerLineProblem::kMissingPeriod:
      return "no \".\" after the ueicode";
    case tuner::TunerLineProblem::kPortNameTooLong:
      return "port name longer than 9 characters";
    case tuner::TunerLineProblem::kNone:
      break;
  }
  return "";
}

bool inIntRange(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return value >= INT_MIN && value <= INT_MAX && errno != ERANGE;
}

}  // namespace

std::string probeProblem(const std::string& port) {
  tuner::SerialServices& serial = tuner::platformSerial();
  const tuner::DiagnosticLog noTrace{std::string()};
  const tuner::BlasterLink link{noTrace, serial};
  tuner::PortHandle hndl = tuner::kInvalidPort;
  tuner::PortProblem problem;
  if (tuner::detectComPortHandle(link, port.c_str(), hndl, &problem) == 1) {
    serial.close(hndl);
    return std::string();
  }
  return portProblemText(port, problem);
}

std::string portProblemText(const std::string& port, const tuner::PortProblem& problem) {
  switch (problem.step) {
    case tuner::PortProblem::kSettings:
      return "port " + port + " refused its settings (19200 8N1)";
    case tuner::PortProblem::kProbe:
      return "port opened but no blaster answered on " + port + " (" +
             std::to_string(problem.received) + " bytes came back)";
    default:
      break;
  }
  switch (problem.openError) {
    case tuner::PortOpenError::kNotFound:
      return "port " + port + " does not exist";
    case tuner::PortOpenError::kAccessDenied:
      return "permission denied on port " + port +
             " (on Linux: add yourself to the dialout group and log in again)";
    case tuner::PortOpenError::kBusy:
      return "port " + port + " is busy: another program held it for 10 s";
    default:
      return "port " + port + " cannot be opened";
  }
}

int findBlasters(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> ports = given.empty() ? serialPortNames() : given;
  std::vector<std::string> problems(ports.size());
  runConcurrently(ports.size(), [&](std::size_t i) { problems[i] = probeProblem(ports[i]); });
  int found = 0;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (problems[i].empty()) {
      ++found;
      out << ports[i] << ": blaster answered; a tuner.txt line to start from: Tuner" << found
          << ".=" << ports[i] << "&UEITYPE,UEICODE.\n";
    } else if (!given.empty() || problems[i].find("busy") != std::string::npos ||
               problems[i].find("no blaster answered") != std::string::npos ||
               problems[i].find("permission denied") != std::string::npos) {
      // Of the ports searched for, only those that exist are worth a line.
      out << ports[i] << ": " << problems[i] << "\n";
    }
  }
  if (found == 0) {
    std::size_t denied = 0;
    for (const std::string& problem : problems) {
      if (problem.find("permission denied") != std::string::npos) ++denied;
    }
    err << "tunerctl: find: no blaster answered on " << ports.size() << " ports";
    if (denied > 0) {
      err << " (permission denied on " << denied
          << " of them: on Linux add yourself to the dialout group and log in again)";
    }
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

int checkTunerConfig(const std::string& path, bool probe, std::ostream& out, std::ostream& err) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    err << "tunerctl: check: " << path << " is a folder, not a file: name the tuner file\n";
    return 1;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    err << "tunerctl: check: " << path
        << (std::filesystem::exists(path, ignored)
                ? " cannot be read: give your user permission to read it\n"
                : " does not exist: create it, one line per tuner, NAME=PORT&UEITYPE,UEICODE. "
                  "(an editor may have saved it as tuner.txt.txt)\n");
    return 1;
  }
  std::map<std::string, int> firstLineOfName;
  bool allUsable = true;
  int tuners = 0;
  std::string line;
  for (int number = 1; tuner::readWholeLine(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 &&
        (line.compare(0, 2, "\xFF\xFE") == 0 || line.compare(0, 2, "\xFE\xFF") == 0 ||
         line.find('\0') != std::string::npos)) {
      err << "tunerctl: check: " << path
          << " is saved as UTF-16 (Unicode): save it again as ANSI or UTF-8\n";
      std::fclose(file);
      return 1;
    }
    out << "line " << number << ": ";
    if (number == 1 && line.compare(0, tuner::kByteOrderMark.size(), tuner::kByteOrderMark) == 0) {
      tuner::skipByteOrderMark(line);
      out << "note: byte-order mark at the start of the file, skipped; ";
    }
    if (line.find_first_not_of(" \t") == std::string::npos) {
      out << "blank, ignored\n";
      continue;
    }
    tuner::TunerLine parsed;
    const tuner::TunerLineProblem problem = tuner::parseTunerLine(line, parsed);
    if (problem == tuner::TunerLineProblem::kMissingEquals) {
      out << "note: no \"=\", the plug-in skips this line (a comment)\n";
      continue;
    }
    if (problem != tuner::TunerLineProblem::kNone) {
      out << "unusable: " << problemText(problem) << "\n";
      allUsable = false;
      continue;
    }
    ++tuners;
    out << "tuner \"" << parsed.name << "\" port " << parsed.port << " ueitype " << parsed.ueitype
        << " ueicode " << parsed.ueicode;
    const auto earlier = firstLineOfName.find(parsed.name);
    std::string unusable;
    if (earlier != firstLineOfName.end()) {
      unusable = "shadowed by line " + std::to_string(earlier->second) + " with the same name";
    } else {
      firstLineOfName.emplace(parsed.name, number);
    }
    for (const auto& [field, text] :
         {std::pair<const char*, const std::string&>{"ueitype", parsed.ueitypeText},
          {"ueicode", parsed.ueicodeText}}) {
      if (!unusable.empty()) break;
      errno = 0;
      if (!tuner::isDecimalNumber(text)) {
        unusable = std::string(field) + " \"" + text + "\" is not a number";
      } else if (!inIntRange(text)) {
        unusable = std::string(field) + " \"" + text + "\" is out of range";
      }
    }
    if (unusable.empty() && parsed.port.find_first_of(" \t") != std::string::npos) {
      unusable = "port name \"" + parsed.port + "\" holds spaces, so it can never open";
    }
    if (unusable.empty() && probe) unusable = probeProblem(parsed.port);
    if (!unusable.empty()) {
      out << ": unusable: " << unusable << "\n";
      allUsable = false;
      continue;
    }
    const bool spaced =
        !parsed.name.empty() && (parsed.name.front() == ' ' || parsed.name.back() == ' ');
    out << (probe ? ": blaster answered, ok" : ": ok")
        << (spaced ? " (note: the tuner name begins or ends with a space, which counts)" : "")
        << "\n";
  }
  std::fclose(file);
  if (tuners == 0) {
    err << "tunerctl: check: " << path
        << " has no tuner lines: add one, NAME=PORT&UEITYPE,UEICODE.\n";
    return 1;
  }
  return allUsable ? 0 : 1;
}
