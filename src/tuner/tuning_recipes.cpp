#include "tuner/tuning_recipes.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "common/text_lines.h"
#include "common/whole_number.h"

namespace tuner {
namespace {

constexpr std::uint64_t kMaxRecipeFileSize = 1024 * 1024;

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The field a setting's value goes to; before takes the next free of its keys.
int* settingIn(TuningRecipe& recipe, const std::string& word) {
  if (word == "digits") return &recipe.digits;
  if (word == "before") {
    for (int& key : recipe.before) {
      if (key == 0) return &key;
    }
    return &recipe.before[kMaxBeforeKeys - 1];
  }
  if (word == "enter") return &recipe.enter;
  if (word == "pause") return &recipe.pauseMs;
  if (word == "wait") return &recipe.waitMs;
  if (word == "dot") return &recipe.dot;
  if (word == "again") return &recipe.againMs;
  if (word == "repeat") return &recipe.repeatMs;
  return nullptr;
}

// How often a setting may stand in one line.
long timesAllowed(const std::string& word) { return word == "before" ? kMaxBeforeKeys : 1; }

}  // namespace

std::string settingProblem(const char* setting, long long value) {
  const std::string name = setting;
  long long low = kMinRecipeKey;
  long long high = kMaxRecipeKey;
  if (name == "digits") {
    low = kMinDigits;
    high = kMaxDigits;
  } else if (name == "pause") {
    low = 0;
    high = kMaxExtraPauseMs;
  } else if (name == "wait") {
    low = 0;
    high = kMaxWaitMs;
  } else if (name == "again") {
    low = kMinAgainMs;
    high = kMaxAgainMs;
  } else if (name == "repeat") {
    low = 0;
    high = kMaxRepeatMs;
  }
  if (value >= low && value <= high) return std::string();
  return name + " " + std::to_string(value) + " is out of range (" + std::to_string(low) + " to " +
         std::to_string(high) + ")";
}

std::string settingsProblem(const RecipeSettings& settings) {
  const std::pair<const char*, int> given[] = {{"digits", settings.digits},
                                               {"before", settings.before},
                                               {"enter", settings.enter},
                                               {"pause", settings.pauseMs},
                                               {"repeat", settings.repeatMs}};
  for (const auto& [name, value] : given) {
    if (value == kNotGiven) continue;
    const std::string problem = settingProblem(name, value);
    if (!problem.empty()) return problem;
  }
  return std::string();
}

TuningRecipe withSettings(TuningRecipe recipe, const RecipeSettings& settings) {
  if (settings.digits != kNotGiven) recipe.digits = settings.digits;
  if (settings.before != kNotGiven) {
    for (int& key : recipe.before) key = 0;
    recipe.before[0] = settings.before;
  }
  if (settings.enter != kNotGiven) recipe.enter = settings.enter;
  if (settings.pauseMs != kNotGiven) recipe.pauseMs = settings.pauseMs;
  if (settings.repeatMs != kNotGiven) recipe.repeatMs = settings.repeatMs;
  return recipe;
}

void parseRecipeLine(const std::string& text, RecipeLine& line) {
  line.recipe = TuningRecipe{};
  line.problem.clear();
  line.name.clear();
  const std::size_t first = text.find_first_not_of(" \t");
  line.comment = first == std::string::npos || text[first] == '#' || text[first] == ';';
  if (line.comment) return;
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    line.problem = "no \"=\" after the tuner name";
    return;
  }
  line.name = text.substr(0, equals);
  const std::vector<std::string_view> settings =
      splitWords(std::string_view(text).substr(equals + 1), isSeparator);
  if (settings.empty()) line.problem = "no settings after the \"=\"";
  std::vector<std::string> seen;
  for (std::size_t i = 0; i < settings.size() && line.problem.empty(); i += 2) {
    const std::string word = lowered(std::string(settings[i]));
    int* setting = settingIn(line.recipe, word);
    int value = 0;
    const auto times = std::count(seen.begin(), seen.end(), word);
    if (setting == nullptr) {
      line.problem = "unknown setting \"" + std::string(settings[i]) +
                     "\" (digits, before, wait, dot, enter, pause, again or repeat)";
    } else if (times >= timesAllowed(word)) {
      line.problem = times == 1 ? word + " is given twice"
                                : word + " is given more than " + std::to_string(times) + " times";
    } else if (i + 1 >= settings.size()) {
      line.problem = word + " needs a number";
    } else if (!parseWholeNumber(std::string(settings[i + 1]), INT_MIN, INT_MAX, value)) {
      line.problem = word + " needs a number, not \"" + std::string(settings[i + 1]) + "\"";
    } else {
      line.problem = settingProblem(word.c_str(), value);
      *setting = value;
      seen.push_back(word);
      if (word == "digits") line.recipe.digitsGiven = true;
    }
  }
  if (!line.problem.empty()) line.recipe = TuningRecipe{};
}

bool walkRecipeFile(const std::string& path, const std::function<bool(const RecipeLine&)>& visit) {
  RecipeLine line;
  return walkTextFile(path, kMaxRecipeFileSize, [&](int number, const std::string& text) {
    line.number = number;
    parseRecipeLine(text, line);
    return visit(line);
  });
}

TuningRecipe ReadRecipe(const DiagnosticLog& log, const std::string& path, const char* tunerName) {
  TuningRecipe recipe;
  try {
    walkRecipeFile(path, [&](const RecipeLine& line) {
      if (line.comment || line.name != tunerName) return true;
      if (!line.problem.empty()) {
        LogMessage(log, "ReadRecipe:Err: line %d for tuner [%s]: %s, line skipped\n", line.number,
                   tunerName, line.problem.c_str());
        return true;
      }
      recipe = line.recipe;
      LogMessage(log, "ReadRecipe:Tuner [%s] line %d: %s\n", tunerName, line.number,
                 describeRecipe(recipe).c_str());
      return false;
    });
  } catch (const std::bad_alloc&) {
    LogMessage(log, "ReadRecipe:Err: out of memory, tuned as ever\n");
    recipe = TuningRecipe{};
  }
  return recipe;
}

std::string describeRecipe(const TuningRecipe& recipe) {
  std::string text = "digits " + std::to_string(recipe.digits);
  for (int key : recipe.before) {
    if (key != 0) text += " before " + std::to_string(key);
  }
  if (recipe.waitMs != 0) text += " wait " + std::to_string(recipe.waitMs);
  if (recipe.dot != 0) text += " dot " + std::to_string(recipe.dot);
  if (recipe.enter != 0) text += " enter " + std::to_string(recipe.enter);
  if (recipe.pauseMs != 0) text += " pause " + std::to_string(recipe.pauseMs);
  if (recipe.againMs != 0) text += " again " + std::to_string(recipe.againMs);
  if (recipe.repeatMs != 0) text += " repeat " + std::to_string(recipe.repeatMs);
  return text;
}

}  // namespace tuner
