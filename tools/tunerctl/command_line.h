// tunerctl's command line, checked whole before any operation runs.
#pragma once

#include <string>
#include <vector>

#include "blaster/blaster_protocol.h"
#include "common/whole_number.h"
#include "tuner/tuning_recipes.h"

struct Operation {
  std::string name;
  std::vector<std::string> args;
  int number = 0;       // the channel of tune, the port of open
  std::string channel;  // tune: a sub-channel as written ("4.1"); empty for a whole channel
  // try and search: the code set (or the first and last code searched) and the key pressed.
  int ueitype = 0;
  int from = 0;
  int to = tuner::protocol::kMaxUeiCode;
  int key = 1;
  bool verbose = false;
  // tune: recipe settings tried in place of those of tuning.txt.
  tuner::RecipeSettings recipe;
  bool namesTuner = false;        // load: names the tuner a tune without --tuner drives
  bool needsLoadedTuner = false;  // tune without --tuner: a load must come first
};

struct CommandLine {
  std::string dll;  // empty: the plug-in beside tunerctl
  bool quiet = false;
  bool timing = false;
  bool help = false;
  bool version = false;
  std::vector<Operation> operations;
};

// Fills line from the arguments; on a problem returns false with it in error.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error);
