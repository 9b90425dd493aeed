#include "named_buttons.h"

#include <cctype>
#include <sstream>

#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/text_lines.h"
#include "tuner/tuner_config.h"

namespace tunerd {

std::map<std::string, int> namedButtons(const std::string& path, const std::string& remote) {
  std::map<std::string, int> buttons;
  tuner::ReadOpen outcome = tuner::ReadOpen::kOpened;
  tuner::OpenFile file(tuner::openForReading(path.c_str(), false, 1024 * 1024, outcome));
  if (file == nullptr) return buttons;
  std::string line;
  for (bool first = true; tuner::readWholeLine(file.get(), line); first = false) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) tuner::skipByteOrderMark(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || line.substr(0, equals) != remote) continue;
    std::istringstream words(line.substr(equals + 1));
    std::string name;
    std::string number;
    while (words >> name >> number) {
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (number.find_first_not_of("0123456789") != std::string::npos || number.size() > 3) {
        continue;
      }
      const int key = std::stoi(number);
      if (key >= 1 && key <= 255 && buttons.count(name) == 0) buttons[name] = key;
    }
    break;
  }
  return buttons;
}

}  // namespace tunerd
