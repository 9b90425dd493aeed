#include "common/text_lines.h"

namespace tuner {

bool readWholeLine(std::FILE* file, std::string& line) {
  line.clear();
  bool readAny = false;
  int c = 0;
  while ((c = std::getc(file)) != EOF) {
    readAny = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  return readAny;
}

}  // namespace tuner
