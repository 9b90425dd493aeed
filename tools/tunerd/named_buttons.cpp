#include "named_buttons.h"

#include <cctype>

#include "common/text_lines.h"
#include "common/whole_number.h"

namespace tunerd {

std::map<std::string, int> namedButtons(const std::string& path, const std::string& remote) {
  std::map<std::string, int> buttons;
  tuner::walkTextFile(path, 1024 * 1024, [&](int, const std::string& line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || line.substr(0, equals) != remote) return true;
    const auto words = tuner::splitWords(std::string_view(line).substr(equals + 1),
                                         [](char c) { return c == ' ' || c == '\t'; });
    for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
      std::string name(words[i]);
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      int key = 0;
      if (tuner::parseWholeNumber(std::string(words[i + 1]), 1, 255, key) &&
          buttons.count(name) == 0) {
        buttons[name] = key;
      }
    }
    return false;
  });
  return buttons;
}

}  // namespace tunerd
