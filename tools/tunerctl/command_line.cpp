#include "command_line.h"

#include <climits>
#include <cstddef>
#include <utility>

#include "operations.h"

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
  std::size_t next = 0;
  for (; next < args.size() && !args[next].empty() && (args[next][0] == '-' || args[next] == "/?");
       ++next) {
    const std::string& option = args[next];
    if (option == "--dll") {
      if (next + 1 >= args.size()) {
        error = "--dll needs the path of the plug-in";
        return false;
      }
      line.dll = args[++next];
    } else if (option == "-q" || option == "--quiet") {
      line.quiet = true;
    } else if (option == "--timing") {
      line.timing = true;
    } else if (option == "-h" || option == "--help" || option == "/?") {
      line.help = true;
    } else if (option == "--version") {
      line.version = true;
    } else {
      error = "unknown option " + option;
      return false;
    }
  }
  if (line.help || line.version) {
    if (next < args.size()) {
      error = "no operations go with " + std::string(line.help ? "--help" : "--version");
      return false;
    }
    return true;
  }
  if (next == args.size()) {
    error = "no operation given";
    return false;
  }
  bool loaded = false;  // a load names the tuner that a tune without --tuner drives
  while (next < args.size()) {
    Operation op;
    op.name = args[next++];
    const OperationForm* form = operationNamed(op.name);
    if (form == nullptr) {
      error = "unknown operation " + op.name;
      return false;
    }
    if (!form->parse(args, next, op, error)) return false;
    if (op.needsLoadedTuner && !loaded) {
      error =
          "tune: which tuner? give --tuner NAME, or load the host's remotes file first "
          "(load FILE tune CHANNEL)";
      return false;
    }
    if (next < args.size() && !isOperation(args[next])) {
      error = op.name + ": unexpected argument " + args[next];
      return false;
    }
    loaded = loaded || op.namesTuner;
    line.operations.push_back(op);
  }
  return true;
}
