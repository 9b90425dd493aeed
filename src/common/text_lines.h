// Whole lines from a text file, however long.
#pragma once

#include <cstdio>
#include <string>

namespace tuner {

// Reads one line without its line feed; false when the file had nothing left to read.
bool readWholeLine(std::FILE* file, std::string& line);

}  // namespace tuner
