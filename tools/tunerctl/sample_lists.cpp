#include "sample_lists.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

}  // namespace

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
