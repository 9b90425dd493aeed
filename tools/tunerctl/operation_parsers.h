// How each operation takes the words that follow its name: false, with why in error, for words
// it cannot take. next moves past what it took.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "command_line.h"

using ParseOperation = bool(const std::vector<std::string>& args, std::size_t& next, Operation& op,
                            std::string& error);
using OperationParser = ParseOperation*;

ParseOperation takeNothing, takePath, takeLoad, takePlay, takeOpen, takeFind, takeCheck, takeTune,
    takeTry, takeSearch;
