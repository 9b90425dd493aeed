#include "operations.h"

#include "session.h"

namespace {

const OperationForm kOperations[] = {
    {"caps", takeNothing, &Session::caps,
     "  caps                  print every capability answer\n"},
    {"open", takeOpen, &Session::open, "  open N                call OpenDevice(N)\n"},
    {"play", takePlay, &Session::play,
     "  play REMOTE COMMAND   send one key: PlayCommand on a remote named REMOTE\n"},
    {"tune", takeTune, &Session::tune,
     "  tune [--tuner NAME] [--digits N] [--before KEY] [--enter KEY] [--pause MS]\n"
     "       [--repeat MS] CHANNEL\n"
     "                        send a channel (1 to 2147483647, a sub-channel such as 4.1 or\n"
     "                        7-1 with the recipe's dot key, or a channel's name in\n"
     "                        channels.txt, which also maps it to its box channel):\n"
     "                        MacroTune(CHANNEL), for the tuner the last load named (a load\n"
     "                        must come first), or for the tuner line NAME; the other options\n"
     "                        try recipe settings in place of those of tuning.txt: at least N\n"
     "                        digits (1 to 8), a KEY (1 to 255) before or after the channel,\n"
     "                        MS (0 to 2000) after each key, and with --repeat MS (0 to 2000)\n"
     "                        more before a digit key that repeats the one before it\n"},
    {"load", takeLoad, &Session::load,
     "  load PATH             LoadRemotes(PATH) and print the list it returns\n"},
    {"save", takePath, &Session::save,
     "  save PATH             SaveRemotes of the list last loaded or built\n"},
    {"build", takeNothing, &Session::build,
     "  build                 build a sample list with this program's malloc and the exports\n"},
    {"compare", takeNothing, &Session::compare,
     "  compare               compare the last two lists loaded or built\n"},
    {"free", takeNothing, &Session::free,
     "  free                  FreeRemotes on every list held\n"},
    {"check", takeCheck, &Session::check,
     "  check [--probe] [PATH]  check a tuner configuration file (default: the plug-in's own),\n"
     "                        with --probe also probe each port for a blaster\n"},
    {"find", takeFind, &Session::find,
     "  find [PORT ...]       probe every serial port (or those given) at once for a blaster\n"},
    {"try", takeTry, &Session::tryCode,
     "  try PORT TYPE,CODE [KEY]\n"
     "                        press KEY (default 1) with code set TYPE,CODE (TYPE 0 to 15,\n"
     "                        CODE 0 to 4095) and say whether the blaster acknowledged it\n"},
    {"search", takeSearch, &Session::search,
     "  search PORT --type TYPE [--from CODE] [--to CODE] [--key KEY] [--verbose]\n"
     "                        find the box's code set: press KEY with each code from --from\n"
     "                        (0) to --to (4095); press Enter when the box reacts, then answer\n"
     "                        y or n as the last few codes are sent again; q or Ctrl-C stops\n"
     "                        and prints the command that resumes. Without a terminal the\n"
     "                        same answers are read as lines; --verbose prints each code\n"},
};

const char kUsageHead[] =
    "usage: tunerctl [--dll PATH] [-q] [--timing] OPERATION [OPERATION ...]\n"
    "       tunerctl --help | /? | --version\n"
    "Loads the tuner plug-in (default: the one beside tunerctl) and runs the operations in order;\n"
    "the whole command line is checked before any of them runs.\n";

const char kUsageTail[] =
    "Options: --dll PATH the plug-in to load (a name alone: one in the current folder);\n"
    "  -q, --quiet print nothing on success;\n"
    "  --timing print the time each operation took.\n"
    "Exit status: 0 done (search: a code set was confirmed), 1 an operation failed (search: none\n"
    "was), 2 usage error, 3 the plug-in cannot be loaded.\n";

}  // namespace

const OperationForm* operationNamed(const std::string& name) {
  for (const OperationForm& form : kOperations) {
    if (name == form.name) return &form;
  }
  return nullptr;
}

std::string usageText() {
  std::string text = kUsageHead;
  for (const OperationForm& form : kOperations) text += form.usage;
  return text + kUsageTail;
}
