#include "common/text_lines.h"

namespace tuner {

bool readLineUpTo(std::FILE* file, std::string& line, std::size_t maxLength, bool& tooLong) {
  line.clear();
  tooLong = false;
  bool readAny = false;
  int c = 0;
  while ((c = std::getc(file)) != EOF) {
    readAny = true;
    if (c == '\n') break;
    if (line.size() < maxLength) {
      line += static_cast<char>(c);
    } else {
      tooLong = true;
    }
  }
  return readAny;
}

bool readWholeLine(std::FILE* file, std::string& line) {
  bool tooLong = false;
  return readLineUpTo(file, line, line.max_size(), tooLong);
}

}  // namespace tuner
