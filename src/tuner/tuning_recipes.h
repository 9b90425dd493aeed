// Tuning recipes: how a box wants its channels, one line per tuner in a file beside the tuner
// file, "NAME=digits 4 before 12 enter 11 pause 300" with any of the four settings in any order.
// A tuner without a usable line is tuned as ever: three digits at least, nothing before or
// after, no pause beyond the protocol's own.
#pragma once

#include <functional>
#include <string>

#include "log/diagnostic_log.h"

namespace tuner {

constexpr int kDefaultDigits = 3;
constexpr int kMinDigits = 1;
constexpr int kMaxDigits = 8;
constexpr int kMinRecipeKey = 1;
constexpr int kMaxRecipeKey = 255;
constexpr int kMaxExtraPauseMs = 2000;
// A setting left to the file, or to the default where the file has none.
constexpr int kNotGiven = -1;

struct TuningRecipe {
  int digits = kDefaultDigits;  // the fewest digit keys a channel is sent with
  int before = 0;               // a key pressed before the channel; 0 for none
  int enter = 0;                // a key pressed after it; 0 for none
  int pauseMs = 0;              // added after each key
};

// The settings that override a recipe, each kNotGiven or a value in range.
struct RecipeSettings {
  int digits = kNotGiven;
  int before = kNotGiven;
  int enter = kNotGiven;
  int pauseMs = kNotGiven;
};

// Why a setting's value cannot be used ("digits 9 is out of range (1 to 8)"), or empty.
std::string settingProblem(const char* setting, long long value);

// Why one of the settings given cannot be used, or empty when each is kNotGiven or in range.
std::string settingsProblem(const RecipeSettings& settings);

// The recipe with the given settings in place of its own.
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
// each setting but the digits only where it is set.
std::string describeRecipe(const TuningRecipe& recipe);

}  // namespace tuner
