#include "recipe_check.h"

#include <set>

#include "common/guarded_files.h"
#include "common/open_file.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"

namespace {

// The names of the tuner file's usable lines.
std::set<std::string> tunerNames(const std::string& tunerFile) {
  std::set<std::string> names;
  tuner::ReadOpen outcome = tuner::ReadOpen::kOpened;
  tuner::OpenFile file(
      tuner::openForReading(tunerFile.c_str(), false, tuner::kMaxTunerFileSize, outcome));
  if (file == nullptr) return names;
  tuner::walkTunerFile(file.get(), [&](const tuner::TunerFileLine& line) {
    if (line.problem == tuner::TunerLineProblem::kNone) names.insert(line.parsed.name);
    return true;
  });
  return names;
}

}  // namespace

std::string recipeFileBeside(const std::string& tunerFile) {
  const std::size_t separator = tunerFile.find_last_of("/\\");
  return (separator == std::string::npos ? std::string() : tunerFile.substr(0, separator + 1)) +
         "tuning.txt";
}

int checkRecipes(const std::string& recipeFile, const std::string& tunerFile, std::ostream& out) {
  const std::set<std::string> names = tunerNames(tunerFile);
  std::set<std::string> seen;
  bool allUsable = true;
  bool any = false;
  tuner::walkRecipeFile(recipeFile, [&](const tuner::RecipeLine& line) {
    if (!any) out << "check " << recipeFile << ":\n";
    any = true;
    out << "line " << line.number << ": ";
    std::string problem = line.problem;
    if (line.comment) {
      out << "blank or comment, ignored\n";
      return true;
    }
    const bool named = !line.name.empty() || problem.empty();
    if (named) out << "recipe for \"" << line.name << "\"";
    if (problem.empty() && names.count(line.name) == 0) {
      problem = "no usable line of " + tunerFile + " has this tuner name";
    } else if (problem.empty() && !seen.insert(line.name).second) {
      problem = "shadowed by an earlier line with the same name";
    }
    if (!problem.empty()) {
      out << (named ? ": " : "") << "unusable: " << problem << "\n";
      allUsable = false;
      return true;
    }
    out << " " << tuner::describeRecipe(line.recipe) << ": ok\n";
    return true;
  });
  return allUsable ? 0 : 1;
}
