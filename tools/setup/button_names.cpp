#include "button_names.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>

#include "blaster/blaster_protocol.h"
#include "common/ascii_case.h"
#include "common/text_lines.h"
#include "common/whole_number.h"
#include "file_beside.h"
#include "tuner/tuner_config.h"

namespace tuner {

void walkButtonLines(const std::string& path, const std::function<bool(const ButtonLine&)>& visit) {
  walkTextFile(path, 1024 * 1024, [&](int number, const std::string& text) {
    ButtonLine line;
    line.number = number;
    const std::size_t equals = text.find('=');
    if (text.find_first_not_of(" \t") == std::string::npos) return true;
    if (equals == std::string::npos) {
      line.problems.push_back("no \"NAME=\" before the buttons");
      return visit(line);
    }
    line.remote = text.substr(0, equals);
    const auto words = splitWords(std::string_view(text).substr(equals + 1),
                                  [](char c) { return c == ' ' || c == '\t'; });
    for (std::size_t i = 0; i < words.size(); i += 2) {
      const std::string written(words[i]);
      const std::string name = upperCase(written);
      int key = 0;
      if (i + 1 >= words.size()) {
        line.problems.push_back(name + " has no key number");
      } else if (!parseWholeNumber(std::string(words[i + 1]), protocol::kMinKey, protocol::kMaxKey,
                                   key)) {
        line.problems.push_back(name + ": \"" + std::string(words[i + 1]) +
                                "\" is no key number from " + std::to_string(protocol::kMinKey) +
                                " to " + std::to_string(protocol::kMaxKey));
      } else {
        line.named.push_back(NamedButton{name, written, key});
      }
    }
    return visit(line);
  });
}

std::vector<NamedButton> buttonsAsWritten(const std::string& path, const std::string& remote,
                                          bool anyCase) {
  std::vector<NamedButton> buttons;
  bool folded = false;
  walkButtonLines(path, [&](const ButtonLine& line) {
    if (line.remote == remote) {
      buttons = line.named;
      return false;
    }
    if (anyCase && !folded && !line.remote.empty() && sameIgnoringCase(line.remote, remote)) {
      buttons = line.named;
      folded = true;
    }
    return true;
  });
  return buttons;
}

std::string slugOf(const std::string& name) {
  std::string made;
  for (unsigned char c : name) {
    if (std::isalnum(c)) {
      made += static_cast<char>(std::tolower(c));
    } else if (!made.empty() && made.back() != '_') {
      made += '_';
    }
  }
  while (!made.empty() && made.back() == '_') made.pop_back();
  return made.substr(0, 40);
}

std::string buttonId(const std::string& name) {
  const std::string made = slugOf(name);
  if (!made.empty()) return made;
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  return std::string("button_") + hex;
}

std::vector<NamedButton> buttonsWithIds(const std::vector<NamedButton>& named,
                                        std::vector<std::string>* problems) {
  std::vector<NamedButton> kept;
  std::map<std::string, std::string> byId;
  for (const NamedButton& button : named) {
    const std::string id = buttonId(button.written);
    const auto [earlier, fresh] = byId.emplace(id, button.written);
    if (fresh) {
      kept.push_back(button);
    } else if (problems != nullptr) {
      problems->push_back(button.written + " has the MQTT id " + id + " of " + earlier->second +
                          ": only " + earlier->second + " reaches Home Assistant");
    }
  }
  return kept;
}

std::map<std::string, int> namedButtons(const std::string& path, const std::string& remote,
                                        bool anyCase) {
  std::map<std::string, int> buttons;
  for (const NamedButton& button : buttonsAsWritten(path, remote, anyCase)) {
    buttons.emplace(button.name, button.key);
  }
  return buttons;
}

std::string buttonsFileBeside(const std::string& tunerFile) {
  return fileBeside(tunerFile, "buttons.txt");
}

int checkButtons(const std::string& buttonsFile, const std::string& tunerFile, std::ostream& out) {
  std::vector<std::string> usable;
  readTunerNames(tunerFile, usable);
  const std::set<std::string> tuners(usable.begin(), usable.end());
  std::set<std::string> seen;
  bool allUsable = true;
  bool any = false;
  walkButtonLines(buttonsFile, [&](const ButtonLine& line) {
    if (!any) out << "check " << buttonsFile << ":\n";
    any = true;
    out << "line " << line.number << ": ";
    std::vector<std::string> problems = line.problems;
    buttonsWithIds(line.named, &problems);
    if (!line.remote.empty()) {
      out << "buttons of \"" << line.remote << "\"";
      if (tuners.count(line.remote) == 0) {
        problems.push_back("no usable line of " + tunerFile + " has this tuner name");
      } else if (!seen.insert(line.remote).second) {
        problems.push_back("shadowed by an earlier line with the same name");
      }
      for (const NamedButton& button : line.named) out << " " << button.name << " " << button.key;
    }
    if (problems.empty()) {
      out << ": ok\n";
      return true;
    }
    allUsable = false;
    out << (line.remote.empty() ? "" : ": ") << "unusable: ";
    for (std::size_t i = 0; i < problems.size(); ++i) out << (i ? "; " : "") << problems[i];
    out << "\n";
    return true;
  });
  return allUsable ? 0 : 1;
}

}  // namespace tuner
