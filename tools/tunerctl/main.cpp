// tunerctl: a small host for the plug-in. It loads the library, calls its exports by name and
// prints what they answer, one operation after another in one process.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "config_check.h"
#include "plugin/plugin_environment.h"
#include "plugin_api.h"
#include "remote_print.h"

namespace {

const char kUsage[] =
    "usage: tunerctl [--dll PATH] OPERATION [OPERATION ...]\n"
    "Loads the tuner plug-in (default: the one beside tunerctl) and runs the operations in order:\n"
    "  caps                  print every capability answer\n"
    "  open N                call OpenDevice(N)\n"
    "  play REMOTE COMMAND   send one key: PlayCommand on a remote named REMOTE\n"
    "  tune CHANNEL          send a channel number: MacroTune(CHANNEL)\n"
    "  load PATH             LoadRemotes(PATH) and print the list it returns\n"
    "  save PATH             SaveRemotes of the list last loaded or built\n"
    "  build                 build a sample list with this program's malloc and the exports\n"
    "  compare               compare the last two lists loaded or built (exit 1 if they differ)\n"
    "  free                  FreeRemotes on every list held\n"
    "  check [--probe] [PATH]  check a tuner configuration file (default: the plug-in's own),\n"
    "                        with --probe also probe each port for a blaster\n"
    "Each operation prints its result and the time it took.\n";

using Clock = std::chrono::steady_clock;

char* heapText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

Pattern* heapPattern(std::uint32_t bitLength, char flag, const std::vector<unsigned char>& bytes) {
  auto* pattern = static_cast<Pattern*>(std::malloc(sizeof(Pattern)));
  auto* data = static_cast<unsigned char*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
  if (pattern == nullptr || data == nullptr) {
    std::free(pattern);
    std::free(data);
    return nullptr;
  }
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  *pattern = Pattern{bitLength, static_cast<std::uint32_t>(bytes.size()), flag, data, nullptr};
  return pattern;
}

// Every byte a name may hold (all but the separators) and a command with a pattern for every
// flag byte (all but space, tab and line feed): the bytes a text-mode read would lose.
void addEveryByteRemote(const PluginApi& api, Remote*& head) {
  std::string name;
  for (int b = 1; b < 256; ++b) {
    if (b != ' ' && b != '\t' && b != '\n' && b != '\r') name += static_cast<char>(b);
  }
  Pattern* patterns = nullptr;
  for (int flag = 255; flag >= 1; --flag) {
    if (flag == ' ' || flag == '\t' || flag == '\n') continue;
    Pattern* pattern = heapPattern(8, static_cast<char>(flag), {static_cast<unsigned char>(flag)});
    if (pattern == nullptr) break;
    pattern->next = patterns;
    patterns = pattern;
  }
  Command* commands = nullptr;
  api.addCommand(api.createCommand(heapText(name), patterns), &commands);
  api.addRemote(api.createRemote(heapText("Bytes" + name), 36000, 600, commands), &head);
}

// A list made the way a host makes one: its own heap blocks, linked through the exports.
Remote* buildSampleList(const PluginApi& api) {
  Remote* head = nullptr;
  for (int r = 0; r < 2; ++r) {
    Command* commands = nullptr;
    for (int c = 0; c < 3; ++c) {
      Pattern* first = heapPattern(16 + c, 'a', {0x20, static_cast<unsigned char>(0xdf - c)});
      if (first != nullptr) {
        first->next = heapPattern(32, 'b', std::vector<unsigned char>(5 + c, 0xA5));
      }
      api.addCommand(api.createCommand(heapText("Key" + std::to_string(c)), first), &commands);
    }
    api.addRemote(api.createRemote(heapText("Tuner" + std::to_string(r + 1) + "."), 38000 + r,
                                   500 + r, commands),
                  &head);
  }
  addEveryByteRemote(api, head);
  return head;
}

class Session {
 public:
  explicit Session(const PluginApi& api) : api_(api) {}
  ~Session() { freeAll(false); }

  // Runs the operations from args[next]; returns the exit status.
  int run(const std::vector<std::string>& args, std::size_t next) {
    int status = 0;
    while (next < args.size()) {
      const std::string op = args[next++];
      const auto started = Clock::now();
      const int opStatus = runOne(op, args, next);
      if (opStatus == 2) return 2;
      if (opStatus != 0) status = opStatus;
      const auto ms =
          std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count() /
          1000.0;
      std::cout << op << ": done in " << ms << " ms\n" << std::flush;
    }
    return status;
  }

 private:
  bool take(const std::vector<std::string>& args, std::size_t& next, std::string& value,
            const char* what) {
    if (next >= args.size()) {
      std::cerr << "tunerctl: " << what << " missing\n" << kUsage;
      return false;
    }
    value = args[next++];
    return true;
  }

  int runOne(const std::string& op, const std::vector<std::string>& args, std::size_t& next) {
    std::string a;
    std::string b;
    if (op == "caps") return caps();
    if (op == "open") {
      if (!take(args, next, a, "port number")) return 2;
      std::cout << "OpenDevice(" << a << "): " << int{api_.openDevice(std::atoi(a.c_str()))}
                << "\n";
      return 0;
    }
    if (op == "play") {
      if (!take(args, next, a, "remote name") || !take(args, next, b, "command name")) return 2;
      std::vector<char> name(a.begin(), a.end());
      name.push_back('\0');
      Remote remote{name.data(), 0, 0, nullptr, nullptr};
      api_.playCommand(&remote, b.c_str());
      std::cout << "PlayCommand(\"" << a << "\", \"" << b << "\"): returned\n";
      return 0;
    }
    if (op == "tune") {
      if (!take(args, next, a, "channel")) return 2;
      api_.macroTune(std::atoi(a.c_str()));
      std::cout << "MacroTune(" << std::atoi(a.c_str()) << "): channel " << std::atoi(a.c_str())
                << " sent\n";
      return 0;
    }
    if (op == "load") {
      if (!take(args, next, a, "path")) return 2;
      Remote* first = api_.loadRemotes(a.c_str());
      lists_.push_back(first);
      std::cout << "LoadRemotes(\"" << a << "\"):\n";
      printRemotes(std::cout, first);
      return 0;
    }
    if (op == "save") {
      if (!take(args, next, a, "path")) return 2;
      api_.saveRemotes(lists_.empty() ? nullptr : lists_.back(), a.c_str());
      std::cout << "SaveRemotes(\"" << a << "\"): returned\n";
      return 0;
    }
    if (op == "build") {
      lists_.push_back(buildSampleList(api_));
      std::cout << "built:\n";
      printRemotes(std::cout, lists_.back());
      return 0;
    }
    if (op == "compare") {
      if (lists_.size() < 2) {
        std::cout << "compare: needs two lists\n";
        return 1;
      }
      const std::string difference = firstDifference(lists_[lists_.size() - 2], lists_.back());
      std::cout << "compare: " << (difference.empty() ? "equal" : "differ: " + difference) << "\n";
      return difference.empty() ? 0 : 1;
    }
    if (op == "free") {
      freeAll(true);
      return 0;
    }
    if (op == "check") return check(args, next);
    std::cerr << "tunerctl: unknown operation " << op << "\n" << kUsage;
    return 2;
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

  int check(const std::vector<std::string>& args, std::size_t& next) {
    bool probe = false;
    std::string path = tuner::tunerConfigPath();
    if (next < args.size() && args[next] == "--probe") {
      probe = true;
      ++next;
    }
    // A path is anything that is not the next operation.
    static const char* const kOperations[] = {"caps", "open",  "play",    "tune", "load",
                                              "save", "build", "compare", "free", "check"};
    if (next < args.size()) {
      bool isOperation = false;
      for (const char* op : kOperations) isOperation = isOperation || args[next] == op;
      if (!isOperation) path = args[next++];
    }
    std::cout << "check " << path << ":\n";
    return checkTunerConfig(path, probe, std::cout);
  }

  void freeAll(bool report) {
    for (Remote*& list : lists_) {
      api_.freeRemotes(&list);
      if (report)
        std::cout << "FreeRemotes: head " << (list == nullptr ? "null" : "not null") << "\n";
    }
    lists_.clear();
  }

  const PluginApi& api_;
  std::vector<Remote*> lists_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t next = 0;
  std::string dll = defaultPluginPath();
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::cout << kUsage;
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--dll") {
    if (args.size() < 2) {
      std::cerr << kUsage;
      return 2;
    }
    dll = args[1];
    next = 2;
  }
  PluginApi api;
  std::string error;
  if (!loadPlugin(dll, api, error)) {
    std::cerr << "tunerctl: cannot load " << dll << ": " << error << "\n";
    return 3;
  }
  Session session(api);
  return session.run(args, next);
}
