#include "tuner/tuning_recipes.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "common/guarded_files.h"
#include "common/open_file.h"
#include "common/text_lines.h"
#include "tuner/tuner_config.h"

namespace tuner {
namespace {

constexpr std::uint64_t kMaxRecipeFileSize = 1024 * 1024;

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> found;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSeparator(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !isSeparator(text[i])) ++i;
    if (i > start) found.push_back(text.substr(start, i - start));
  }
  return found;
}

// A whole decimal number, a minus allowed; false for anything else or for one far out of range.
bool wholeNumber(const std::string& text, long long& value) {
  std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || value > 1000000000LL) return false;
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  return true;
}

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

int* settingIn(TuningRecipe& recipe, const std::string& word) {
  if (word == "digits") return &recipe.digits;
  if (word == "before") return &recipe.before;
  if (word == "enter") return &recipe.enter;
  if (word == "pause") return &recipe.pauseMs;
  return nullptr;
}

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
  }
  if (value >= low && value <= high) return std::string();
  return name + " " + std::to_string(value) + " is out of range (" + std::to_string(low) + " to " +
         std::to_string(high) + ")";
}

std::string settingsProblem(const RecipeSettings& settings) {
  const std::pair<const char*, int> given[] = {{"digits", settings.digits},
                                               {"before", settings.before},
                                               {"enter", settings.enter},
                                               {"pause", settings.pauseMs}};
  for (const auto& [name, value] : given) {
    if (value == kNotGiven) continue;
    const std::string problem = settingProblem(name, value);
    if (!problem.empty()) return problem;
  }
  return std::string();
}

TuningRecipe withSettings(TuningRecipe recipe, const RecipeSettings& settings) {
  if (settings.digits != kNotGiven) recipe.digits = settings.digits;
  if (settings.before != kNotGiven) recipe.before = settings.before;
  if (settings.enter != kNotGiven) recipe.enter = settings.enter;
  if (settings.pauseMs != kNotGiven) recipe.pauseMs = settings.pauseMs;
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
  const std::vector<std::string> settings = words(text.substr(equals + 1));
  if (settings.empty()) line.problem = "no settings after the \"=\"";
  std::vector<std::string> seen;
  for (std::size_t i = 0; i < settings.size() && line.problem.empty(); i += 2) {
    const std::string word = lowered(settings[i]);
    int* setting = settingIn(line.recipe, word);
    long long value = 0;
    if (setting == nullptr) {
      line.problem = "unknown setting \"" + settings[i] + "\" (digits, before, enter or pause)";
    } else if (std::find(seen.begin(), seen.end(), word) != seen.end()) {
      line.problem = word + " is given twice";
    } else if (i + 1 >= settings.size()) {
      line.problem = word + " needs a number";
    } else if (!wholeNumber(settings[i + 1], value)) {
      line.problem = word + " needs a number, not \"" + settings[i + 1] + "\"";
    } else {
      line.problem = settingProblem(word.c_str(), value);
      *setting = static_cast<int>(value);
      seen.push_back(word);
    }
  }
  if (!line.problem.empty()) line.recipe = TuningRecipe{};
}

bool walkRecipeFile(const std::string& path, const std::function<bool(const RecipeLine&)>& visit) {
  ReadOpen outcome = ReadOpen::kOpened;
  OpenFile file(openForReading(path.c_str(), false, kMaxRecipeFileSize, outcome));
  if (file == nullptr) return false;
  RecipeLine line;
  std::string text;
  while (readWholeLine(file.get(), text)) {
    ++line.number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (line.number == 1) skipByteOrderMark(text);
    parseRecipeLine(text, line);
    if (!visit(line)) break;
  }
  return true;
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
  if (recipe.before != 0) text += " before " + std::to_string(recipe.before);
  if (recipe.enter != 0) text += " enter " + std::to_string(recipe.enter);
  if (recipe.pauseMs != 0) text += " pause " + std::to_string(recipe.pauseMs);
  return text;
}

}  // namespace tuner
