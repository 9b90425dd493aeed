// tunerctl's operations, each with the words it takes and its lines of the usage text: the one
// list that the command line, the usage text and the manual page's check go by.
#pragma once

#include <cstddef>
#include <string>

struct OperationForm {
  const char* name;
  std::size_t arguments;  // words that follow it, for the operations that take a fixed number
  const char* usage;
};

// The operation named name, or null.
const OperationForm* operationNamed(const std::string& name);

// The whole text of --help.
std::string usageText();
