#include "channel_check.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "file_beside.h"
#include "recipe_check.h"
#include "tuner/channel_map.h"
#include "tuner/tuner_config.h"
#include "tuner/tuning_recipes.h"

std::string channelFileBeside(const std::string& tunerFile) {
  return tuner::fileBeside(tunerFile, "channels.txt");
}

int checkChannels(const std::string& channelFile, const std::string& tunerFile, std::ostream& out) {
  std::vector<std::string> usable;
  tuner::readTunerNames(tunerFile, usable);
  const std::set<std::string> tuners(usable.begin(), usable.end());
  const tuner::DiagnosticLog untraced{std::string()};
  const std::string recipes = recipeFileBeside(tunerFile);
  // Each tuner's channels and names so far, with the line that gave them.
  std::map<std::string, std::map<std::string, int>> channels;
  std::map<std::string, std::map<std::string, int>> names;
  bool allUsable = true;
  bool any = false;
  tuner::walkChannelFile(channelFile, [&](const tuner::ChannelEntry& entry) {
    if (entry.comment) return true;
    if (!any) out << "check " << channelFile << ":\n";
    any = true;
    out << "line " << entry.line << ": ";
    std::vector<std::string> problems;
    if (!entry.problem.empty()) {
      problems.push_back(entry.problem);
    } else {
      const std::string channel = tuner::channelText(entry.channel);
      out << "channel " << channel;
      if (entry.boxGiven) out << " as " << tuner::channelText(entry.box);
      if (!entry.name.empty()) out << " \"" << entry.name << "\"";
      out << " of \"" << entry.tuner << "\"";
      if (tuners.count(entry.tuner) == 0) {
        problems.push_back("no usable line of " + tunerFile + " has this tuner name");
      }
      const auto [given, fresh] = channels[entry.tuner].emplace(channel, entry.line);
      if (!fresh) {
        problems.push_back("channel " + channel + " is given on line " +
                           std::to_string(given->second) + " already");
      }
      if (!entry.name.empty()) {
        const auto [named, first] =
            names[entry.tuner].emplace(tuner::lowerCase(entry.name), entry.line);
        if (!first) {
          problems.push_back("the name \"" + entry.name + "\" is given on line " +
                             std::to_string(named->second) + " already");
        }
      }
      if (!entry.box.minor.empty() &&
          tuner::ReadRecipe(untraced, recipes, entry.tuner.c_str()).dot == 0) {
        problems.push_back("sub-channel " + tuner::channelText(entry.box) +
                           " is sent, and this tuner has no dot key in tuning.txt");
      }
    }
    if (problems.empty()) {
      out << ": ok\n";
      return true;
    }
    allUsable = false;
    out << (entry.problem.empty() ? ": " : "") << "unusable: ";
    for (std::size_t i = 0; i < problems.size(); ++i) out << (i ? "; " : "") << problems[i];
    out << "\n";
    return true;
  });
  return allUsable ? 0 : 1;
}
