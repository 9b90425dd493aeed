#include "common/text_lines.h"

#include "common/guarded_files.h"
#include "common/open_file.h"

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

bool skipByteOrderMark(std::string& firstLine) {
  if (firstLine.compare(0, kByteOrderMark.size(), kByteOrderMark) != 0) return false;
  firstLine.erase(0, kByteOrderMark.size());
  return true;
}

bool walkTextFile(const std::string& path, std::uint64_t maxSize,
                  const std::function<bool(int number, const std::string& line)>& visit) {
  ReadOpen outcome = ReadOpen::kOpened;
  OpenFile file(openForReading(path.c_str(), false, maxSize, outcome));
  if (file == nullptr) return false;
  std::string line;
  for (int number = 1; readWholeLine(file.get(), line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1) skipByteOrderMark(line);
    if (!visit(number, line)) break;
  }
  return true;
}

std::vector<std::string_view> splitWords(std::string_view text, bool (*isSeparator)(char)) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSeparator(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

}  // namespace tuner
