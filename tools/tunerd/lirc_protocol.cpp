#include "lirc_protocol.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "common/ascii_case.h"
#include "common/hex_digits.h"
#include "common/text_lines.h"
#include "common/whole_number.h"

namespace tunerd {
namespace {

// A count at the end of SEND_ONCE: a whole number, however large.
bool isNumber(const std::string& text) {
  int ignored = 0;
  return tuner::parseWholeNumber(text, 0, INT_MAX, ignored);
}

}  // namespace

Request parseRequest(const std::string& line) {
  Request request;
  request.line = line;
  request.hasNul = line.find('\0') != std::string::npos;
  const std::string text =
      !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
  const auto words = tuner::splitWords(text, [](char c) { return c == ' ' || c == '\t'; });
  if (!words.empty()) {
    request.command = tuner::upperCase(std::string(words.front()));
    request.words.assign(words.begin() + 1, words.end());
  }
  return request;
}

std::string reply(const std::string& line, bool success, const std::vector<std::string>& data) {
  std::string text = "BEGIN\n" + line + "\n" + (success ? "SUCCESS\n" : "ERROR\n");
  if (!data.empty()) {
    text += "DATA\n" + std::to_string(data.size()) + "\n";
    for (const std::string& item : data) text += item + "\n";
  }
  return text + "END\n";
}

std::optional<int> buttonKey(const std::string& button) {
  const std::string name = tuner::upperCase(button);
  int value = 0;
  for (const char* prefix : {"KEY_NUMERIC_", "KEY_", "KEY#", ""}) {
    const std::string start = prefix;
    if (name.compare(0, start.size(), start) != 0) continue;
    const std::string rest = name.substr(start.size());
    const bool digitOnly = start.empty() || start == "KEY_NUMERIC_";
    if (!rest.empty() && rest[0] != '-' &&
        tuner::parseWholeNumber(rest, 0, digitOnly ? 9 : tuner::protocol::kMaxKey, value)) {
      if (rest.size() > 1 && rest[0] == '0') return std::nullopt;
      return value == 0 ? 10 : value;
    }
  }
  return std::nullopt;
}

std::vector<std::string> digitButtons() {
  std::vector<std::string> names;
  for (int digit = 0; digit <= 9; ++digit) names.push_back("KEY_" + std::to_string(digit));
  return names;
}

std::string listedButton(int key, const std::string& name) {
  std::string code(16, '0');
  for (std::size_t i = code.size(); key > 0 && i > 0; key >>= 4) {
    code[--i] = tuner::kHexDigits[key & 0x0F];
  }
  return code + " " + name;
}

std::optional<int> remoteButtonKey(const std::string& button,
                                   const std::map<std::string, int>& named) {
  const auto own = named.find(tuner::upperCase(button));
  return own != named.end() ? std::optional<int>(own->second) : buttonKey(button);
}

SendOnce parseSendOnce(const Request& request, const std::map<std::string, int>& named) {
  SendOnce send;
  std::vector<std::string> words = request.words;
  if (words.size() < 2) {
    send.problem = "SEND_ONCE needs a remote (a tuner name) and at least one button";
    return send;
  }
  send.remote = words.front();
  words.erase(words.begin());
  // lircd's form: a number after the button is the repeat count.
  if (words.size() >= 2 && isNumber(words.back())) {
    if (!tuner::parseWholeNumber(words.back(), 0, tuner::kMaxPresses, send.count)) {
      send.problem = "repeat count " + words.back() + " is out of range (0 to " +
                     std::to_string(tuner::kMaxPresses) + ")";
      return send;
    }
    if (send.count == 0) send.count = 1;
    words.pop_back();
  }
  for (const std::string& button : words) {
    const std::optional<int> key = remoteButtonKey(button, named);
    if (!key) {
      send.unknownButton = button;
      send.problem = "unknown button";
      return send;
    }
    send.keys.push_back(*key);
  }
  return send;
}

}  // namespace tunerd
