// Feeds arbitrary bytes to LoadRemotes as a real file, with the trace on, then saves what it
// loaded and loads it again: the reader must never crash, hang, leak or leave a record field
// unset, and a loaded list, or a list a host builds from the same bytes, must load back equal.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "remotes/remote_lists.h"
#include "remotes/remotes_file.h"
#include "remotes/save_files.h"
#include "work_directory.h"

namespace {

struct Owned {
  Remote* head = nullptr;
  ~Owned() { tuner::releaseRemotes(head); }
};

void requireEqual(const Remote* a, const Remote* b) {
  for (; a != nullptr || b != nullptr; a = a->next, b = b->next) {
    if (a == nullptr || b == nullptr || std::strcmp(a->name, b->name) != 0 ||
        a->carrier_freq != b->carrier_freq || a->bit_time != b->bit_time) {
      std::abort();
    }
    const Command* ca = a->commands;
    const Command* cb = b->commands;
    for (; ca != nullptr || cb != nullptr; ca = ca->next, cb = cb->next) {
      if (ca == nullptr || cb == nullptr || std::strcmp(ca->name, cb->name) != 0) std::abort();
      const Pattern* pa = ca->patterns;
      const Pattern* pb = cb->patterns;
      for (; pa != nullptr || pb != nullptr; pa = pa->next, pb = pb->next) {
        if (pa == nullptr || pb == nullptr || pa->bit_length != pb->bit_length ||
            pa->r_flag != pb->r_flag || pa->length != pb->length ||
            (pa->length != 0 && std::memcmp(pa->bytes, pb->bytes, pa->length) != 0)) {
          std::abort();
        }
      }
    }
  }
}

// A line end CR LF is taken as one: a pattern whose flag is a carriage return and that has no
// bytes reads as a pattern without a flag. Such lists cannot be saved and loaded back.
bool endsInCarriageReturnFlag(const Remote* list) {
  for (const Remote* r = list; r != nullptr; r = r->next) {
    for (const Command* c = r->commands; c != nullptr; c = c->next) {
      for (const Pattern* p = c->patterns; p != nullptr; p = p->next) {
        if (p->r_flag == '\r' && p->length == 0) return true;
      }
    }
  }
  return false;
}

char* heapCopy(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// A list as a host builds it from the bytes: one command per 8 bytes, its flag the first of
// them (any byte the format can hold), its bit length the second, its pattern bytes the rest.
Remote* hostList(const std::uint8_t* data, std::size_t size) {
  Command* commands = nullptr;
  Command** tail = &commands;
  for (std::size_t at = 0; at + 2 <= size; at += 8) {
    const char flag = static_cast<char>(data[at]);
    if (flag == ' ' || flag == '\t' || flag == '\n' || flag == '\0') continue;
    const std::size_t length = std::min<std::size_t>(6, size - at - 2);
    if (flag == '\r' && length == 0) continue;
    auto* pattern = static_cast<Pattern*>(std::malloc(sizeof(Pattern)));
    auto* bytes = static_cast<unsigned char*>(std::malloc(length + 1));
    if (length != 0) std::memcpy(bytes, data + at + 2, length);
    *pattern = Pattern{data[at + 1], static_cast<std::uint32_t>(length), flag, bytes, nullptr};
    auto* command = static_cast<Command*>(std::malloc(sizeof(Command)));
    *command = Command{heapCopy("K" + std::to_string(at)), pattern, nullptr};
    *tail = command;
    tail = &command->next;
  }
  auto* remote = static_cast<Remote*>(std::malloc(sizeof(Remote)));
  *remote =
      Remote{heapCopy("Host"), static_cast<std::uint32_t>(size), 0xFFFFFFFFu, commands, nullptr};
  return remote;
}

Remote* saveAndLoad(const tuner::DiagnosticLog& log, const Remote* list, const std::string& path) {
  if (!tuner::SaveRemotes(log, list, path.c_str(), tuner::platformSaveFiles())) std::abort();
  char devName[256];
  return tuner::LoadRemotes(log, path.c_str(), devName, sizeof devName);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& directory = fuzzing::workDirectory();
  const tuner::DiagnosticLog log{directory + "/TunerDLL.log"};
  std::FILE* trace = std::fopen(log.path.c_str(), "w");  // on, and empty for each input
  if (trace != nullptr) std::fclose(trace);

  // The file is named after the input's first bytes, so the device-name rule meets backslashes,
  // short names and long ones.
  std::string name(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 40));
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  const std::string path = directory + "/in-" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  char devName[256];
  std::memset(devName, 0x55, sizeof devName);
  Owned loaded{tuner::LoadRemotes(log, path.c_str(), devName, sizeof devName)};
  if (std::memchr(devName, '\0', sizeof devName) == nullptr ||
      tuner::deviceNameFromPath(path.c_str(), sizeof devName) != devName) {
    std::abort();
  }
  for (const Remote* r = loaded.head; r != nullptr; r = r->next) {
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
  const std::string saved = directory + "/saved.txt";
  if (!endsInCarriageReturnFlag(loaded.head)) {
    Owned reloaded{saveAndLoad(log, loaded.head, saved)};
    requireEqual(loaded.head, reloaded.head);
  }
  Owned built{hostList(data, size)};
  Owned builtReloaded{saveAndLoad(log, built.head, saved)};
  requireEqual(built.head, builtReloaded.head);
  std::remove(path.c_str());
  return 0;
}
