// Tuning recipes: how a box wants its channels, one line per tuner in a file beside the tuner
// file, "NAME=digits 4 before 12 wait 2000 dot 13 enter 11 pause 300 again 3000" with any of the
// settings in any order (before up to three times, for boxes that need several keys to wake).
// A tuner without a usable line is tuned as ever: three digits at least, nothing before or
// after, no pause beyond the protocol's own.
#pragma once

#include <functional>
#include <string>

#include "blaster/blaster_protocol.h"
#include "log/diagnostic_log.h"

namespace tuner {

constexpr int kDefaultDigits = 3;
constexpr int kMinDigits = 1;
constexpr int kMaxDigits = 8;
constexpr int kMinRecipeKey = protocol::kMinKey;
constexpr int kMaxRecipeKey = protocol::kMaxKey;
constexpr int kMaxExtraPauseMs = 2000;
constexpr int kMaxRepeatMs = 2000;
constexpr int kMaxBeforeKeys = 3;
constexpr int kMaxWaitMs = 10000;
constexpr int kMinAgainMs = 500;
constexpr int kMaxAgainMs = 10000;
// A setting left to the file, or to the default where the file has none; a setting given with
// any other value, 0 among them, is used for the call.
constexpr int kNotGiven = -1;

struct TuningRecipe {
  int digits = kDefaultDigits;      // the fewest digit keys a channel is sent with
  bool digitsGiven = false;         // set by the line: a sub-channel's major is padded only then
  int before[kMaxBeforeKeys] = {};  // keys pressed before the channel, in order; 0 ends them
  int enter = 0;                    // a key pressed after it; 0 for none
  int pauseMs = 0;                  // added after each key
  int waitMs = 0;                   // after the keys before, ahead of the first digit
  int dot = 0;                      // the key between a sub-channel's two parts; 0 for none
  int againMs = 0;                  // the channel sent once more this long after; 0 for once
  int repeatMs = 0;                 // more before a digit key that is the key just before it
};

// The settings that override a recipe, each kNotGiven or a value in range.
struct RecipeSettings {
  int digits = kNotGiven;
  int before = kNotGiven;
  int enter = kNotGiven;
  int pauseMs = kNotGiven;
  int repeatMs = kNotGiven;
};

// Why a setting's value cannot be used ("digits 9 is out of range (1 to 8)"), or empty.
// The settings are digits, before, enter, pause, wait, dot, again and repeat.
std::string settingProblem(const char* setting, long long value);

// Why one of the settings given cannot be used, or empty when each is kNotGiven or in range.
std::string settingsProblem(const RecipeSettings& settings);

// The recipe with the given settings in place of its own (a before given is the one key before).
TuningRecipe withSettings(TuningRecipe recipe, const RecipeSettings& settings);

// One line of the recipe file.
struct RecipeLine {
  int number = 0;
  bool comment = false;  // blank, or beginning with # or ;
  std::string name;      // every character before the first "=", as in the tuner file
  TuningRecipe recipe;
  std::string problem;  // why the line cannot be used; empty when it can
};

// Parses the settings of one line (without its line end) into line.
void parseRecipeLine(const std::string& text, RecipeLine& line);

// Hands each line of the recipe file at path to visit, in order, until visit returns false.
// False when the file cannot be read (it does not exist, say).
bool walkRecipeFile(const std::string& path, const std::function<bool(const RecipeLine&)>& visit);

// The recipe of tunerName: the first line with its name, read afresh. Only that tuner's lines
// are traced: one that cannot be used is skipped with a line saying why, and the default kept.
TuningRecipe ReadRecipe(const DiagnosticLog& log, const std::string& path, const char* tunerName);

// The recipe as the trace and tunerctl check show it: "digits 4 before 12 enter 11 pause 300",
// each setting but the digits only where it is set, in the order before, wait, dot, enter,
// pause, again, repeat.
std::string describeRecipe(const TuningRecipe& recipe);

}  // namespace tuner
