#include "recipe_check.h"

#include <set>
#include <vector>

#include "file_beside.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"

std::string recipeFileBeside(const std::string& tunerFile) {
  return tuner::fileBeside(tunerFile, "tuning.txt");
}

int checkRecipes(const std::string& recipeFile, const std::string& tunerFile, std::ostream& out) {
  std::vector<std::string> usable;
  tuner::readTunerNames(tunerFile, usable);
  const std::set<std::string> names(usable.begin(), usable.end());
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
