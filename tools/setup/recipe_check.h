// `tunerctl check`, second part: the tuning recipes beside the tuner file, line by line.
#pragma once

#include <ostream>
#include <string>

// The recipe file that goes with the tuner file at tunerFile: tuning.txt in its folder.
std::string recipeFileBeside(const std::string& tunerFile);

// Prints one diagnosis per line of the recipe file, if there is one; returns 0 when there is
// none or every line can be used, 1 otherwise.
int checkRecipes(const std::string& recipeFile, const std::string& tunerFile, std::ostream& out);
