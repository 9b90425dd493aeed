#include "tuner/control_result.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include "tuner/request_limits.h"

namespace tuner {
namespace {

struct ResultText {
  int code;
  const char* text;
};

constexpr ResultText kResultTexts[] = {
    {TUNER_DONE, "{what} {number} sent to tuner \"{tuner}\" on {port}"},
    {TUNER_NO_CALL_YET, "no channel change or key has been sent from this thread yet"},
    {TUNER_FILE_MISSING, "{config} is missing or cannot be read: create it (not tuner.txt.txt)"},
    {TUNER_NO_TUNER_LINE,
     "no line of {config} has the tuner name \"{tuner}\": add a line with exactly that name, "
     "{tuner}=PORT&UEITYPE,UEICODE."},
    {TUNER_LINE_UNUSABLE,
     "the line for tuner \"{tuner}\" in {config} {part}: write it as "
     "{tuner}=PORT&UEITYPE,UEICODE."},
    {TUNER_PORT_NOT_FOUND,
     "port {port}[ for tuner \"{tuner}\"] does not exist: check the port name[ in {config}] and "
     "that the adapter is plugged in"},
    {TUNER_PERMISSION_DENIED,
     "permission denied on port {port}: on Linux add the user to the dialout group and log in "
     "again"},
    {TUNER_PORT_BUSY, "port {port} stayed held by another program for {wait} s: close it"},
    {TUNER_PORT_NOT_OPENED,
     "port {port}[ for tuner \"{tuner}\"] cannot be opened: check the port name[ in {config}]"},
    {TUNER_PORT_SETTINGS_REFUSED,
     "port {port} opened but refused its settings ({line}): try another port or adapter "
     "driver"},
    {TUNER_NO_BLASTER,
     "no blaster answered on {port} ({number} bytes came back): check the blaster's cable and "
     "power[, and that {config} names its port]"},
    {TUNER_KEY_NOT_ACKNOWLEDGED,
     "the blaster on {port} did not acknowledge key {number}, so the rest was not sent: check "
     "its cable and power, then try again"},
    {TUNER_NOTHING_TO_SEND,
     "command \"{command}\" presses no key (its name neither begins with a digit nor is a "
     "number), so nothing was sent"},
    {TUNER_INVALID_CHANNEL,
     "channel {number} cannot be sent: it is not a channel (channels are 1 or more, up to "
     "{maxchannel}, or a sub-channel such as 4.1), so nothing was sent"},
    {TUNER_INVALID_ARGUMENT, "the host passed no remote, no remote name or no command name"},
    {TUNER_OUT_OF_MEMORY, "memory ran out during the call: close other programs"},
    {TUNER_INVALID_SETTING, "nothing was sent: {setting}"},
    {TUNER_NO_DOT_KEY,
     "sub-channel {number} was not sent: tuner \"{tuner}\" has no dot key; give its line in "
     "tuning.txt \"dot KEY\", the key its box takes between the two parts"},
    {TUNER_NO_TURN,
     "the blaster on {port} stayed busy with other clients' keys for {turn} s: nothing was sent"},
    {TUNER_STOPPING, "tunerd is stopping: nothing more was sent"},
    {TUNER_CLIENT_GONE, "the client hung up before its turn: nothing was sent"},
    {TUNER_SEARCH_RUNNING, "a code-set search is running on {port}: nothing was sent"},
    {TUNER_TOO_MANY_KEYS,
     "one request presses at most {limit} keys and this one asks {number}: nothing was sent, "
     "send the rest in another"},
    {TUNER_UNKNOWN_BUTTON,
     "unknown button \"{command}\" for remote \"{tuner}\": use KEY_0 to KEY_9, KEY_1 to "
     "KEY_{maxkey} for a key number, or name it in buttons.txt"},
    {TUNER_KEY_OUT_OF_RANGE,
     "command \"{command}\" names key {number}, and the blaster's keys are {minkey} to {maxkey}: "
     "nothing was sent"},
};

// "has a port name of more than 9 characters", from the longest name a port may have.
const char* portNameTooLongPart() {
  static const struct Part {
    Part() {
      std::snprintf(text, sizeof text, "has a port name of more than %u characters",
                    static_cast<unsigned>(kMaxPortNameLength));
    }
    char text[64];
  } part;
  return part.text;
}

// Appends text to out[0..capacity), keeping the terminating zero.
void append(char* out, std::size_t capacity, std::size_t& used, const char* text,
            std::size_t length) {
  for (std::size_t i = 0; i < length && used + 1 < capacity; ++i) out[used++] = text[i];
  out[used] = '\0';
}

const char* detail(const ControlResult& result, const char* name, std::size_t length,
                   char* number) {
  const auto is = [&](const char* field) {
    return std::strlen(field) == length && std::strncmp(name, field, length) == 0;
  };
  if (is("what")) return result.what;
  if (is("part")) return result.part;
  if (is("tuner")) return result.tuner;
  if (is("port")) return result.port;
  if (is("command")) return result.command;
  if (is("config")) return result.config;
  if (is("setting")) return result.setting;
  if (is("limit")) {
    std::snprintf(number, 16, "%d", result.limit);
    return number;
  }
  if (is("number")) {
    if (result.numberText[0] != '\0') return result.numberText;
    std::snprintf(number, 16, "%d", result.number);
    return number;
  }
  return nullptr;
}

}  // namespace

// The templates with the numbers of the constants they name in place: {wait} the seconds a call
// waits for a held port, {turn} the seconds a request of tunerd's waits for its turn, {line} the
// line a port is set up with, {minkey} {maxkey} the keys the wire names, {maxchannel} the
// highest channel. Made once, without the heap.
class Templates {
 public:
  Templates() {
    char wait[16];
    std::snprintf(wait, sizeof wait, "%u", kPortWaitMs / 1000);
    char turn[16];
    std::snprintf(turn, sizeof turn, "%d", kTurnWaitSeconds);
    char minKey[16];
    std::snprintf(minKey, sizeof minKey, "%d", protocol::kMinKey);
    char maxKey[16];
    std::snprintf(maxKey, sizeof maxKey, "%d", protocol::kMaxKey);
    char maxChannel[16];
    std::snprintf(maxChannel, sizeof maxChannel, "%d", INT_MAX);
    char line[96];
    std::snprintf(
        line, sizeof line, "%u baud, %u data bits, %s, %u stop bit%s",
        static_cast<unsigned>(kBlasterLine.baudRate), static_cast<unsigned>(kBlasterLine.dataBits),
        kBlasterLine.parity ? "even parity" : "no parity",
        static_cast<unsigned>(kBlasterLine.stopBits), kBlasterLine.stopBits == 1 ? "" : "s");
    const std::pair<const char*, const char*> constants[] = {
        {"{wait}", wait},     {"{turn}", turn},     {"{line}", line},
        {"{minkey}", minKey}, {"{maxkey}", maxKey}, {"{maxchannel}", maxChannel}};
    for (std::size_t i = 0; i < kCount; ++i) {
      std::size_t used = 0;
      for (const char* c = kResultTexts[i].text; *c != '\0';) {
        const char* value = nullptr;
        std::size_t length = 0;
        for (const auto& [name, text] : constants) {
          if (std::strncmp(c, name, std::strlen(name)) == 0) {
            value = text;
            length = std::strlen(name);
          }
        }
        if (value != nullptr) {
          append(texts_[i], sizeof texts_[i], used, value, std::strlen(value));
          c += length;
        } else {
          append(texts_[i], sizeof texts_[i], used, c++, 1);
        }
      }
    }
  }
  const char* of(int code) const {
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kResultTexts[i].code == code) return texts_[i];
    }
    return nullptr;
  }

 private:
  static constexpr std::size_t kCount = sizeof kResultTexts / sizeof kResultTexts[0];
  char texts_[kCount][256] = {};
};

const char* resultTemplate(int code) {
  static const Templates templates;
  return templates.of(code);
}

void describeResult(const ControlResult& result, char* text, std::size_t capacity) {
  if (capacity == 0) return;
  std::size_t used = 0;
  text[0] = '\0';
  const char* format = resultTemplate(result.code);
  if (format == nullptr) {
    std::snprintf(text, capacity, "unknown result %d", result.code);
    return;
  }
  char number[16];
  // Where an optional part began in text, and whether a detail in it was empty.
  std::size_t optionalAt = 0;
  bool optionalEmpty = false;
  for (const char* c = format; *c != '\0';) {
    if (*c == '[') {
      optionalAt = used;
      optionalEmpty = false;
      ++c;
      continue;
    }
    if (*c == ']') {
      if (optionalEmpty) {
        used = optionalAt;
        text[used] = '\0';
      }
      ++c;
      continue;
    }
    const char* close = *c == '{' ? std::strchr(c, '}') : nullptr;
    const char* value = close != nullptr
                            ? detail(result, c + 1, static_cast<std::size_t>(close - c - 1), number)
                            : nullptr;
    if (value != nullptr) {
      if (*value == '\0') optionalEmpty = true;
      append(text, capacity, used, value, std::strlen(value));
      c = close + 1;
    } else {
      append(text, capacity, used, c, 1);
      ++c;
    }
  }
}

int portResultCode(const PortProblem& problem) {
  if (problem.step == PortProblem::kSettings) return TUNER_PORT_SETTINGS_REFUSED;
  if (problem.step == PortProblem::kProbe) return TUNER_NO_BLASTER;
  switch (problem.openError) {
    case PortOpenError::kNotFound:
      return TUNER_PORT_NOT_FOUND;
    case PortOpenError::kAccessDenied:
      return TUNER_PERMISSION_DENIED;
    case PortOpenError::kBusy:
      return TUNER_PORT_BUSY;
    default:
      return TUNER_PORT_NOT_OPENED;
  }
}

void setPortProblem(ControlResult& result, const PortProblem& problem) {
  result.code = portResultCode(problem);
  result.number = static_cast<int>(problem.received);
}

std::string resultSentence(const ControlResult& result) {
  char text[512];
  describeResult(result, text, sizeof text);
  return text;
}

std::string portProblemSentence(const char* port, const PortProblem& problem) {
  ControlResult result;
  setPortProblem(result, problem);
  setField(result.port, port);
  return resultSentence(result);
}

int lookupResultCode(const TunerLookup& lookup) {
  if (lookup.outOfMemory) return TUNER_OUT_OF_MEMORY;
  if (!lookup.fileOpened) return TUNER_FILE_MISSING;
  if (lookup.wantedLineProblem != TunerLineProblem::kNone) return TUNER_LINE_UNUSABLE;
  return TUNER_NO_TUNER_LINE;
}

const char* tunerLinePart(TunerLineProblem problem) {
  switch (problem) {
    case TunerLineProblem::kMissingEquals:
      return "lacks the \"=\" after the tuner name";
    case TunerLineProblem::kMissingAmpersand:
      return "lacks the \"&\" after the port name";
    case TunerLineProblem::kMissingComma:
      return "lacks the \",\" between the two numbers";
    case TunerLineProblem::kMissingPeriod:
      return "lacks the \".\" after the second number";
    case TunerLineProblem::kPortNameTooLong:
      return portNameTooLongPart();
    case TunerLineProblem::kNone:
      break;
  }
  return "cannot be read";
}

}  // namespace tuner
