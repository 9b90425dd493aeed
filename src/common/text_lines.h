// Lines and words of the text files users write: whole lines, CR LF and a byte-order mark taken
// as Notepad writes them, and words between separators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tuner {

// Reads one line without its line feed; false when the file had nothing left to read.
bool readWholeLine(std::FILE* file, std::string& line);

// The same, keeping at most maxLength bytes of the line: tooLong tells that more were skipped.
bool readLineUpTo(std::FILE* file, std::string& line, std::size_t maxLength, bool& tooLong);

// The UTF-8 byte-order mark an editor may put at the start of a file; it is not part of the
// first line's text. skipByteOrderMark removes it and says whether it stood there.
inline const std::string kByteOrderMark = "\xEF\xBB\xBF";
bool skipByteOrderMark(std::string& firstLine);

// Hands each line of the regular file at path (at most maxSize bytes), numbered from 1, without
// its CR LF and the first without a byte-order mark, to visit until visit returns false. False
// when the file cannot be read.
bool walkTextFile(const std::string& path, std::uint64_t maxSize,
                  const std::function<bool(int number, const std::string& line)>& visit);

// The words of text between runs of separators.
std::vector<std::string_view> splitWords(std::string_view text, bool (*isSeparator)(char));

}  // namespace tuner
