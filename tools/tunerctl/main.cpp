// tunerctl: a small host for the plug-in. It loads the library, calls its exports by name and
// prints what they answer, one operation after another in one process.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "code_search.h"
#include "command_line.h"
#include "config_check.h"
#include "host_files.h"
#include "operations.h"
#include "plugin/plugin_environment.h"
#include "plugin_api.h"
#include "recipe_check.h"
#include "remote_print.h"
#include "sample_lists.h"

namespace {

using Clock = std::chrono::steady_clock;

class Session {
 public:
  explicit Session(const PluginApi& api) : api_(api) {}
  ~Session() { freeAll(false); }

  // Runs the checked operations in order; returns the exit status.
  int run(const CommandLine& line) {
    quiet_ = line.quiet;
    int status = 0;
    for (const Operation& op : line.operations) {
      const auto started = Clock::now();
      const int opStatus = runOne(op);
      if (opStatus != 0) status = opStatus;
      const auto ms =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count() /
          1000.0;
      if (line.timing) std::cerr << op.name << ": done in " << ms << " ms\n" << std::flush;
    }
    return status;
  }

 private:
  std::ostream& out() { return quiet_ ? silent_ : std::cout; }

  // Runs a control call and reports what the plug-in says it did.
  template <typename Call>
  int controlCall(Call call) {
    call();
    const int result = api_.lastControlResult();
    const char* message = api_.lastControlMessage();
    if (result == TUNER_DONE) {
      out() << message << "\n";
      return 0;
    }
    std::cerr << "tunerctl: " << message << "\n";
    return 1;
  }

  // MacroTune, or MacroTuneRecipe when the command line gives recipe settings, or
  // MacroTuneChannel for a sub-channel.
  int tune(const Operation& op) {
    const tuner::RecipeSettings& r = op.recipe;
    const bool recipe = r.digits != tuner::kNotGiven || r.before != tuner::kNotGiven ||
                        r.enter != tuner::kNotGiven || r.pauseMs != tuner::kNotGiven;
    return controlCall([&] {
      if (!op.channel.empty()) {
        api_.macroTuneChannel(op.channel.c_str(), r.digits, r.before, r.enter, r.pauseMs);
      } else if (recipe) {
        api_.macroTuneRecipe(op.number, r.digits, r.before, r.enter, r.pauseMs);
      } else {
        api_.macroTune(op.number);
      }
    });
  }

  // A tune of the tuner line `--tuner NAME`: the name is set the way a host sets it, by loading
  // an empty remotes file named after it, made in a temporary folder and removed afterwards.
  int tuneTuner(const Operation& op) {
    const std::string& name = op.args[0];
    const std::string folder = makeTemporaryDirectory();
    const std::string back = currentDirectory();
    if (folder.empty() || back.empty() || !changeDirectory(folder)) {
      std::cerr << "tunerctl: cannot make a temporary folder for the tuner name in "
                << temporaryFilesDirectory()
                << ": make sure it exists and can be written, or set TMPDIR (on Windows TEMP)"
                   " to one that can\n";
      if (!folder.empty()) removeDirectory(folder);
      return 1;
    }
    const std::string file = name + "txt";
    Remote* none = api_.loadRemotes(file.c_str());
    api_.freeRemotes(&none);
    std::remove(file.c_str());
    changeDirectory(back);
    removeDirectory(folder);
    return tune(op);
  }

  int runOne(const Operation& op) {
    if (op.name == "caps") return caps();
    if (op.name == "open") {
      out() << "OpenDevice(" << op.number << "): " << int{api_.openDevice(op.number)} << "\n";
      return 0;
    }
    if (op.name == "play") {
      std::vector<char> name(op.args[0].begin(), op.args[0].end());
      name.push_back('\0');
      Remote remote{name.data(), 0, 0, nullptr, nullptr};
      return controlCall([&] { api_.playCommand(&remote, op.args[1].c_str()); });
    }
    if (op.name == "tune") {
      return op.args.empty() ? tune(op) : tuneTuner(op);
    }
    if (op.name == "load") {
      Remote* first = api_.loadRemotes(op.args[0].c_str());
      lists_.push_back(first);
      out() << "LoadRemotes(\"" << op.args[0] << "\"):\n";
      printRemotes(out(), first);
      return 0;
    }
    if (op.name == "save") {
      api_.saveRemotes(lists_.empty() ? nullptr : lists_.back(), op.args[0].c_str());
      out() << "SaveRemotes(\"" << op.args[0] << "\"): returned\n";
      return 0;
    }
    if (op.name == "build") {
      lists_.push_back(buildSampleList(api_));
      out() << "built:\n";
      printRemotes(out(), lists_.back());
      return 0;
    }
    if (op.name == "compare") {
      if (lists_.size() < 2) {
        std::cerr << "tunerctl: compare needs two lists loaded or built\n";
        return 1;
      }
      const std::string difference = firstDifference(lists_[lists_.size() - 2], lists_.back());
      if (!difference.empty()) {
        std::cerr << "tunerctl: compare: lists differ: " << difference << "\n";
        return 1;
      }
      out() << "compare: equal\n";
      return 0;
    }
    if (op.name == "free") {
      freeAll(true);
      return 0;
    }
    if (op.name == "find") return findBlasters(op.args, out(), std::cerr);
    if (op.name == "try" || op.name == "search") {
      const CodeSearch search{op.args[0], op.ueitype, op.from, op.to, op.key, op.verbose};
      return op.name == "try" ? tryCodeSet(search, out(), std::cerr)
                              : searchCodeSets(search, std::cout, std::cerr);
    }
    return check(op);
  }

  int caps() {
    const char* name = api_.deviceName();
    const char* again = api_.deviceName();
    std::cout << "DeviceName: \"" << name
              << "\" same address twice: " << (name == again ? "yes" : "no") << "\n";
    std::cout << "OpenDevice(1): " << int{api_.openDevice(1)} << "\n";
    api_.initDevice();
    std::cout << "InitDevice: returned\n";
    std::cout << "NeedBitrate: " << int{api_.needBitrate()} << "\n";
    std::cout << "NeedCarrierFrequency: " << int{api_.needCarrierFrequency()} << "\n";
    std::cout << "FindBitRate: " << api_.findBitRate() << "\n";
    std::cout << "FindCarrierFrequency: " << api_.findCarrierFrequency() << "\n";
    std::cout << "RecordCommand: " << api_.recordCommand() << "\n";
    std::cout << "CanMacroTune: " << int{api_.canMacroTune()} << "\n";
    api_.closeDevice();
    std::cout << "CloseDevice: returned\n";
    return 0;
  }

  int check(const Operation& op) {
    bool probe = false;
    std::string path = tuner::tunerConfigPath();
    for (const std::string& arg : op.args) {
      if (arg == "--probe") {
        probe = true;
      } else {
        path = arg;
      }
    }
    out() << "check " << path << ":\n";
    int status = checkTunerConfig(path, probe, out(), std::cerr);
    if (checkRecipes(recipeFileBeside(path), path, out()) != 0) status = 1;
    const std::string trace = traceProblem(tuner::pluginLog().path);
    if (!trace.empty()) std::cerr << "tunerctl: check: " << trace << "\n";
    return status;
  }

  void freeAll(bool report) {
    for (Remote*& list : lists_) {
      api_.freeRemotes(&list);
      if (report) out() << "FreeRemotes: head " << (list == nullptr ? "null" : "not null") << "\n";
    }
    lists_.clear();
  }

  const PluginApi& api_;
  std::vector<Remote*> lists_;
  bool quiet_ = false;
  std::ostringstream silent_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine line;
  std::string problem;
  if (!parseCommandLine(args, line, problem)) {
    std::cerr << "tunerctl: " << problem << " (tunerctl --help lists the operations)\n";
    return 2;
  }
  if (line.help) {
    std::cout << usageText();
    return 0;
  }
  for (const Operation& op : line.operations) {
    if (op.name == "tune" && !op.args.empty() && !usableFileName(op.args[0])) {
      std::cerr << "tunerctl: tune: tuner name \"" << op.args[0]
                << "\" cannot be a file name (no / \\ : * ? \" < > | or control characters)\n";
      return 2;
    }
  }
  const std::string dll = line.dll.empty() ? defaultPluginPath() : givenPluginPath(line.dll);
  if (line.version) {
    const std::string version = pluginVersion(dll);
    if (version.empty()) {
      std::cerr << "tunerctl: cannot read the version of " << dll << "\n";
      return 3;
    }
    std::cout << "TunerDLL " << version << "\n";
    return 0;
  }
  PluginApi api;
  std::string error;
  if (!loadPlugin(dll, api, error)) {
    std::cerr << "tunerctl: cannot load " << dll << ": " << error;
    const int width = libraryWidth(dll);
    const int ownWidth = static_cast<int>(sizeof(void*) * 8);
    if (width != 0 && width != ownWidth)
      std::cerr << "; it is a " << width << "-bit plug-in and this tunerctl is " << ownWidth
                << "-bit: a program loads only a plug-in of its own width, so use the tunerctl"
                   " that came with it (the release's x86 and x64 folders each hold one)\n";
    else
      std::cerr << "; put the plug-in beside tunerctl or pass --dll PATH\n";
    return 3;
  }
  Session session(api);
  return session.run(line);
}
