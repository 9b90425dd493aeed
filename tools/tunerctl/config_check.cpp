#include "config_check.h"

#include <cstdio>
#include <map>

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

bool probePort(const std::string& port) {
  const tuner::DiagnosticLog quiet{};
  const tuner::BlasterLink link{quiet, tuner::platformSerial()};
  tuner::PortHandle hndl = tuner::kInvalidPort;
  if (!tuner::detectComPortHandle(link, port.c_str(), hndl)) return false;
  link.serial.close(hndl);
  return true;
}

}  // namespace

int checkTunerConfig(const std::string& path, bool probe, std::ostream& out) {
  std::FILE* file = std::fopen(path.c_str(), "r");
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
    if (line.find_first_not_of(" \t") == std::string::npos) {
      out << "blank, ignored\n";
      continue;
    }
    tuner::TunerLine parsed;
    const tuner::TunerLineProblem problem = tuner::parseTunerLine(line, parsed);
    if (problem != tuner::TunerLineProblem::kNone) {
      out << "unusable: " << problemText(problem) << "\n";
      allUsable = false;
      continue;
    }
    out << "tuner \"" << parsed.name << "\" port " << parsed.port << " ueitype " << parsed.ueitype
        << " ueicode " << parsed.ueicode;
    const auto earlier = firstLineOfName.find(parsed.name);
    if (earlier != firstLineOfName.end()) {
      out << ": unusable: shadowed by line " << earlier->second << " with the same name\n";
      allUsable = false;
      continue;
    }
    firstLineOfName.emplace(parsed.name, number);
    if (!tuner::isDecimalNumber(parsed.ueitypeText)) {
      out << ": unusable: ueitype \"" << parsed.ueitypeText << "\" is not a number\n";
      allUsable = false;
      continue;
    }
    if (!tuner::isDecimalNumber(parsed.ueicodeText)) {
      out << ": unusable: ueicode \"" << parsed.ueicodeText << "\" is not a number\n";
      allUsable = false;
      continue;
    }
    if (probe && !probePort(parsed.port)) {
      out << ": unusable: no blaster answered on " << parsed.port << "\n";
      allUsable = false;
      continue;
    }
    out << (probe ? ": blaster answered, ok\n" : ": ok\n");
  }
  std::fclose(file);
  return allUsable ? 0 : 1;
}
