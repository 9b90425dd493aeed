// A run of tunerctl's operations against the loaded plug-in: the lists it holds and each
// operation as the table of operations runs it.
#pragma once

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

class Session {
  using Clock = std::chrono::steady_clock;

 public:
  explicit Session(const PluginApi& api) : api_(api) {}
  ~Session() { freeAll(false); }

  // Runs the checked operations in order; returns the exit status.
  int run(const CommandLine& line) {
    quiet_ = line.quiet;
    int status = 0;
    for (const Operation& op : line.operations) {
      const auto started = Clock::now();
      const int opStatus = (this->*operationNamed(op.name)->run)(op);
      if (opStatus != 0) status = opStatus;
      const auto ms =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count() /
          1000.0;
      if (line.timing) std::cerr << op.name << ": done in " << ms << " ms\n" << std::flush;
    }
    return status;
  }

  // The operations, as the table of operations runs them.
  int open(const Operation& op) {
    out() << "OpenDevice(" << op.number << "): " << int{api_.openDevice(op.number)} << "\n";
    return 0;
  }

  int play(const Operation& op) {
    std::vector<char> name(op.args[0].begin(), op.args[0].end());
    name.push_back('\0');
    Remote remote{name.data(), 0, 0, nullptr, nullptr};
    return controlCall([&] { api_.playCommand(&remote, op.args[1].c_str()); });
  }

  int tune(const Operation& op) { return op.args.empty() ? tuneLoaded(op) : tuneTuner(op); }

  int load(const Operation& op) {
    Remote* first = api_.loadRemotes(op.args[0].c_str());
    lists_.push_back(first);
    out() << "LoadRemotes(\"" << op.args[0] << "\"):\n";
    printRemotes(out(), first);
    return 0;
  }

  int save(const Operation& op) {
    api_.saveRemotes(lists_.empty() ? nullptr : lists_.back(), op.args[0].c_str());
    out() << "SaveRemotes(\"" << op.args[0] << "\"): returned\n";
    return 0;
  }

  int build(const Operation&) {
    lists_.push_back(buildSampleList(api_));
    out() << "built:\n";
    printRemotes(out(), lists_.back());
    return 0;
  }

  int compare(const Operation&) {
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

  int free(const Operation&) {
    freeAll(true);
    return 0;
  }

  int find(const Operation& op) {
    std::ostringstream problems;
    const int status = findBlasters(op.args, out(), problems);
    sayEach(problems.str(), "find");
    return status;
  }

  int tryCode(const Operation& op) { return tryCodeSet(codeSearch(op), out(), std::cerr); }

  int search(const Operation& op) { return searchCodeSets(codeSearch(op), std::cout, std::cerr); }

 private:
  std::ostream& out() { return quiet_ ? silent_ : std::cout; }

  static CodeSearch codeSearch(const Operation& op) {
    return CodeSearch{op.args[0], op.ueitype, op.from, op.to, op.key, op.verbose};
  }

  // Each line of problems as tunerctl says them: "tunerctl: check: ...".
  static void sayEach(const std::string& problems, const char* operation) {
    std::istringstream lines(problems);
    for (std::string line; std::getline(lines, line);) {
      std::cerr << "tunerctl: " << operation << ": " << line << "\n";
    }
  }

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
  int tuneLoaded(const Operation& op) {
    const tuner::RecipeSettings& r = op.recipe;
    const bool recipe = r.digits != tuner::kNotGiven || r.before != tuner::kNotGiven ||
                        r.enter != tuner::kNotGiven || r.pauseMs != tuner::kNotGiven;
    return controlCall([&] {
      if (r.repeatMs != tuner::kNotGiven) {
        const TunerRecipeSettings all{
            sizeof(TunerRecipeSettings), r.digits, r.before, r.enter, r.pauseMs, r.repeatMs};
        const std::string channel = op.channel.empty() ? std::to_string(op.number) : op.channel;
        api_.macroTuneSettings(channel.c_str(), &all);
      } else if (!op.channel.empty()) {
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
    return tuneLoaded(op);
  }

 public:
  int caps(const Operation&) {
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
    std::ostringstream problems;
    const int status = checkFiles(path, probe, out(), problems);
    sayEach(problems.str(), "check");
    const std::string trace = traceProblem(tuner::pluginLog().path);
    if (!trace.empty()) std::cerr << "tunerctl: check: " << trace << "\n";
    return status;
  }

 private:
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
