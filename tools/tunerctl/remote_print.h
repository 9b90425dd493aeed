// Remote lists as tunerctl shows and compares them.
#pragma once

#include <ostream>
#include <string>

#include "remotes/records.h"

void printRemotes(std::ostream& out, const Remote* first);

// Empty when the two lists hold equal records in the same order, else the first difference.
std::string firstDifference(const Remote* a, const Remote* b);
