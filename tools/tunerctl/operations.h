// tunerctl's operations, one row each: its name, how it takes its words, how it runs and its
// lines of the usage text. The command line, the run, the usage text and the manual page's
// check all go by this one table.
#pragma once

#include <string>

#include "operation_parsers.h"

class Session;

struct OperationForm {
  const char* name;
  OperationParser parse;
  int (Session::*run)(const Operation& op);
  const char* usage;
};

// The operation named name, or null.
const OperationForm* operationNamed(const std::string& name);

// Whether a word of the command line names an operation (and so starts the next one).
inline bool isOperation(const std::string& word) { return operationNamed(word) != nullptr; }

// The whole text of --help.
std::string usageText();
