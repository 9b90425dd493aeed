#include "config_check.h"

#include "host_files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include "blaster/port_setup.h"
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
  tuner::PortOpenError error = tuner::PortOpenError::kNone;
  const tuner::PortHandle opened = serial.open(port, error);
  if (opened == tuner::kInvalidPort) {
    switch (error) {
      case tuner::PortOpenError::kNotFound:
        return "port " + port + " does not exist";
      case tuner::PortOpenError::kAccessDenied:
        return "permission denied on port " + port +
               " (on Linux: add yourself to the dialout group and log in again)";
      case tuner::PortOpenError::kBusy:
        return "port " + port + " is busy: another program holds it";
      default:
        return "port " + port + " cannot be opened";
    }
  }
  serial.close(opened);
  // The probe with a trace of its own, which says how many bytes came back.
  const std::string folder = makeTemporaryDirectory();
  if (folder.empty()) return "no temporary folder for the probe";
  const tuner::DiagnosticLog trace{folder + "/probe.log"};
  if (std::FILE* made = std::fopen(trace.path.c_str(), "wb")) std::fclose(made);
  const tuner::BlasterLink link{trace, serial};
  tuner::PortHandle hndl = tuner::kInvalidPort;
  const bool found = tuner::detectComPortHandle(link, port.c_str(), hndl) == 1;
  if (found) serial.close(hndl);
  std::string problem;
  if (!found) {
    std::string log;
    if (std::FILE* in = std::fopen(trace.path.c_str(), "rb")) {
      for (int c = std::getc(in); c != EOF; c = std::getc(in)) log += static_cast<char>(c);
      std::fclose(in);
    }
    const std::size_t size = log.find("ZentravoxVersion:size[");
    if (size != std::string::npos) {
      const std::size_t from = size + std::strlen("ZentravoxVersion:size[");
      problem = "port opened but no blaster answered on " + port + " (" +
                log.substr(from, log.find(']', from) - from) + " bytes came back)";
    } else if (log.find("Failed to get") != std::string::npos) {
      problem = "port " + port + " refused its settings (19200 8N1)";
    } else {
      problem = "port " + port + " cannot be opened";
    }
  }
  std::remove(trace.path.c_str());
  removeDirectory(folder);
  return problem;
}

int findBlasters(const std::vector<std::string>& given, std::ostream& out, std::ostream& err) {
  const std::vector<std::string> ports = given.empty() ? serialPortNames() : given;
  std::vector<std::string> problems(ports.size());
  runConcurrently(ports.size(), [&](std::size_t i) { problems[i] = probeProblem(ports[i]); });
  int found = 0;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (problems[i].empty()) {
      ++found;
      out << ports[i] << ": blaster answered; a tuner.txt line to start from: Tuner" << found << "="
          << ports[i] << "&UEITYPE,UEICODE.\n";
    } else if (!given.empty() || problems[i].find("busy") != std::string::npos ||
               problems[i].find("no blaster answered") != std::string::npos ||
               problems[i].find("permission denied") != std::string::npos) {
      // Of the ports searched for, only those that exist are worth a line.
      out << ports[i] << ": " << problems[i] << "\n";
    }
  }
  if (found == 0) err << "tunerctl: find: no blaster answered on " << ports.size() << " ports\n";
  return found > 0 ? 0 : 1;
}

int checkTunerConfig(const std::string& path, bool probe, std::ostream& out) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    out << path << ": cannot be opened\n";
    return 1;
  }
  std::map<std::string, int> firstLineOfName;
  bool allUsable = true;
  std::string line;
  for (int number = 1; tuner::readWholeLine(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
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
  return allUsable ? 0 : 1;
}
