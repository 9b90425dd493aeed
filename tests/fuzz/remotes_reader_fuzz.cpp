// Feeds arbitrary bytes to the remotes file reader: it must never crash, hang, leak or leave a
// record field unset.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"

namespace {

// Owns the lists made from saved texts.
struct Reloaded {
  std::vector<Remote*> lists;
  ~Reloaded() {
    for (Remote* list : lists) tuner::releaseRemotes(list);
  }
};

Remote* readText(const std::string& text) {
  if (text.empty()) return nullptr;
  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (file == nullptr) return nullptr;
  Remote* list = tuner::readRemotes(tuner::DiagnosticLog{}, file);
  std::fclose(file);
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (file == nullptr) return 0;
  const tuner::DiagnosticLog quiet{};
  Remote* list = tuner::readRemotes(quiet, file);
  std::fclose(file);
  Reloaded reloaded;
  auto reload = [&reloaded](const std::string& text) {
    reloaded.lists.push_back(readText(text));
    return reloaded.lists.back();
  };
  for (const Remote* r = list; r != nullptr; r = r->next) {
    if (r->name == nullptr) std::abort();
    for (const Command* c = r->commands; c != nullptr; c = c->next) {
      if (c->name == nullptr) std::abort();
      for (const Pattern* p = c->patterns; p != nullptr; p = p->next) {
        if (p->bytes == nullptr) std::abort();
        volatile unsigned sum = 0;
        for (std::uint32_t i = 0; i < p->length; ++i) sum += p->bytes[i];
      }
    }
  }
  // Saving and loading again settles at once: a list loaded from a saved list saves the same.
  const std::string first = tuner::formatRemotes(list);
  const std::string second = tuner::formatRemotes(reload(first));
  if (tuner::formatRemotes(reload(second)) != second) std::abort();
  tuner::releaseRemotes(list);
  return 0;
}
