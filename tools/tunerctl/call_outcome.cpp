#include "call_outcome.h"

#include <cstdio>
#include <utility>

#include "common/text_lines.h"

namespace {

bool startsWith(const std::string& line, const std::string& prefix) {
  return line.compare(0, prefix.size(), prefix) == 0;
}

// The text in the first [...] of the first line that begins with prefix; empty if none.
std::string bracketed(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines) {
    if (!startsWith(line, prefix)) continue;
    const std::size_t open = line.find('[', prefix.size() - (prefix.back() == '[' ? 1 : 0));
    const std::size_t close = line.find(']', open);
    if (open != std::string::npos && close != std::string::npos) {
      return line.substr(open + 1, close - open - 1);
    }
  }
  return std::string();
}

bool has(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines) {
    if (startsWith(line, prefix)) return true;
  }
  return false;
}

}  // namespace

CallTrace::CallTrace(std::string logPath) : path_(std::move(logPath)) {
  if (std::FILE* log = std::fopen(path_.c_str(), "rb")) {
    std::fseek(log, 0, SEEK_END);
    start_ = std::ftell(log);
    std::fclose(log);
    tracing_ = true;
  } else if (std::FILE* made = std::fopen(path_.c_str(), "wb")) {
    std::fclose(made);
    created_ = true;
    tracing_ = true;
  }
}

CallTrace::~CallTrace() {
  if (created_) std::remove(path_.c_str());
}

std::vector<std::string> CallTrace::added() const {
  std::vector<std::string> lines;
  std::FILE* log = std::fopen(path_.c_str(), "rb");
  if (log == nullptr) return lines;
  std::fseek(log, 0, SEEK_END);
  // A log that restarted at its size bound holds only this call's lines.
  if (std::ftell(log) < start_) {
    std::fseek(log, 0, SEEK_SET);
  } else {
    std::fseek(log, start_, SEEK_SET);
  }
  // Only whole lines: the plug-in ends every message with a line feed.
  std::string line;
  while (tuner::readWholeLine(log, line) && !std::feof(log)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  std::fclose(log);
  return lines;
}

CallOutcome outcomeOf(const std::string& call, const std::vector<std::string>& lines,
                      const std::string& configPath) {
  const std::string tuner = bracketed(lines, "ReadCfgFile:Searching for tuner [");
  const std::string port = bracketed(lines, "getComPort:Start[");
  const std::string where = "tuner \"" + tuner + "\" on " + port;
  if (has(lines, call + ":End")) {
    if (call == "MacroTune") {
      return {true,
              "channel " + bracketed(lines, "MacroTune:Start: Channel [") + " sent to " + where};
    }
    return {true, "key " + bracketed(lines, "PlayCommand:Emitting [") + " sent to " + where};
  }
  if (has(lines, "ReadCfgFile:Err: CfgFile was not opened")) {
    return {false, configPath + " is missing or cannot be read: create it (not tuner.txt.txt)"};
  }
  if (has(lines, "ReadCfgFile:Err: out of memory") ||
      has(lines, "LoadRemotes:ERR: out of memory")) {
    return {false, "memory ran out: close other programs"};
  }
  if (has(lines, call + ":Err:ReadCfg Failes")) {
    return {false, "no line of " + configPath + " has the tuner name \"" + tuner +
                       "\": add a line with exactly that name, " + tuner +
                       "=PORT&UEITYPE,UEICODE."};
  }
  if (has(lines, "getComPort:Err:Still held")) {
    return {false, "port " + port + " stayed held by another program for 10 s: close it"};
  }
  if (has(lines, "detectComPortHandle:Err:Invalid ComStr")) {
    return {false, "port " + port + " for " + "tuner \"" + tuner +
                       "\" does not exist or cannot be opened: check the port name in " +
                       configPath + " and close other programs using the port"};
  }
  if (has(lines, "detectComPortHandle:Err:Failed to get")) {
    return {false, "port " + port +
                       " opened but refused its settings (19200 baud, 8 data bits, no parity, "
                       "1 stop bit): try another port or adapter driver"};
  }
  if (has(lines, "No Blaster found")) {
    return {false, "no blaster answered on " + port + " (" +
                       bracketed(lines, "ZentravoxVersion:size[") +
                       " bytes came back): check the blaster's cable and power, and that " +
                       configPath + " names its port"};
  }
  if (has(lines, call + ":Err:Key not acknowledged")) {
    return {false, "the blaster on " + port +
                       " did not acknowledge a key, so the rest was not sent: check its cable "
                       "and power, then try again"};
  }
  return {false, "the plug-in did not finish the call; see its trace"};
}
