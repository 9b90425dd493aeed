// Whole lines from a text file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace tuner {

// Reads one line without its line feed; false when the file had nothing left to read.
bool readWholeLine(std::FILE* file, std::string& line);

// The same, keeping at most maxLength bytes of the line: tooLong tells that more were skipped.
bool readLineUpTo(std::FILE* file, std::string& line, std::size_t maxLength, bool& tooLong);

}  // namespace tuner
