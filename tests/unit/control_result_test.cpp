#include "tuner/control_result.h"

#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_heap.h"

#include "plugin/thread_results.h"
#include "recording_serial.h"
#include "temp_dir.h"
#include "tuner/key_commands.h"

namespace tuner {
namespace {

using testing::RecordingSerial;
using testing::TempDir;
using testing::writeFile;

std::string sentence(const ControlResult& result) {
  char text[512];
  describeResult(result, text, sizeof text);
  return text;
}

struct Cause {
  const char* what;
  std::function<void(RecordingSerial&, std::string& config)> arrange;
  std::function<ControlResult(const ControlEnvironment&)> call;
  int code;
  const char* says;
  int opens;  // port opens the call may make
};

ControlResult tune42(const ControlEnvironment& env) { return MacroTune(env, 42, "Tuner1"); }
ControlResult tuneNamed(const ControlEnvironment& env, const char* name) {
  return MacroTune(env, 42, name);
}
ControlResult playOn(const ControlEnvironment& env, const char* command) {
  char name[] = "Tuner1";
  const Remote remote{name, 0, 0, nullptr, nullptr};
  return PlayCommand(env, &remote, command);
}
void nothing(RecordingSerial&, std::string&) {}

TEST(ControlResults, EachCauseFromARealCall) {
  const Cause causes[] = {
      {"done", nothing, tune42, TUNER_DONE, "channel 42 sent to tuner \"Tuner1\" on COM2", 1},
      {"key done", nothing, [](auto& env) { return playOn(env, "7"); }, TUNER_DONE,
       "key 7 sent to tuner \"Tuner1\" on COM2", 1},
      {"file missing", [](auto&, auto& config) { config.clear(); }, tune42, TUNER_FILE_MISSING,
       "tuner.txt is missing or cannot be read", 0},
      {"no line", nothing, [](auto& env) { return tuneNamed(env, "Nobody"); }, TUNER_NO_TUNER_LINE,
       "has the tuner name \"Nobody\": add a line", 0},
      {"no period", [](auto&, auto& config) { config = "NoDot=COM2&1,2\n"; },
       [](auto& env) { return tuneNamed(env, "NoDot"); }, TUNER_LINE_UNUSABLE,
       "the line for tuner \"NoDot\" in", 0},
      {"no ampersand", [](auto&, auto& config) { config = "Amp=COM2 1,2.\n"; },
       [](auto& env) { return tuneNamed(env, "Amp"); }, TUNER_LINE_UNUSABLE,
       "lacks the \"&\" after the port name", 0},
      {"long port", [](auto&, auto& config) { config = "Long=COM1234567890&1,2.\n"; },
       [](auto& env) { return tuneNamed(env, "Long"); }, TUNER_LINE_UNUSABLE,
       "has a port name of more than 9 characters", 0},
      {"not found",
       [](auto& serial, auto&) {
         serial.openFails = true;
         serial.openError = PortOpenError::kNotFound;
       },
       tune42, TUNER_PORT_NOT_FOUND, "port COM2 for tuner \"Tuner1\" does not exist", 1},
      {"permission denied, at once",
       [](auto& serial, auto&) {
         serial.openFails = true;
         serial.openError = PortOpenError::kAccessDenied;
       },
       tune42, TUNER_PERMISSION_DENIED, "permission denied on port COM2", 1},
      {"busy past the wait", [](auto& serial, auto&) { serial.busyOpens = 1000000; }, tune42,
       TUNER_PORT_BUSY, "port COM2 stayed held by another program", 201},
      {"other open error",
       [](auto& serial, auto&) {
         serial.openFails = true;
         serial.openError = PortOpenError::kOther;
       },
       tune42, TUNER_PORT_NOT_OPENED, "port COM2 for tuner \"Tuner1\" cannot be opened", 1},
      {"settings", [](auto& serial, auto&) { serial.configureFails = true; }, tune42,
       TUNER_PORT_SETTINGS_REFUSED, "port COM2 opened but refused its settings", 1},
      {"no blaster", [](auto& serial, auto&) { serial.versionReplyLength = 4; }, tune42,
       TUNER_NO_BLASTER, "no blaster answered on COM2 (4 bytes came back)", 1},
      {"key not acknowledged", [](auto& serial, auto&) { serial.acksLeft = 1; }, tune42,
       TUNER_KEY_NOT_ACKNOWLEDGED, "did not acknowledge key 4, so the rest was not sent", 1},
      {"nothing to send", nothing, [](auto& env) { return playOn(env, "Power"); },
       TUNER_NOTHING_TO_SEND, "command \"Power\" presses no key", 1},
      {"invalid channel", nothing, [](auto& env) { return MacroTune(env, 0, "Tuner1"); },
       TUNER_INVALID_CHANNEL, "channel 0 cannot be sent", 0},
      {"null remote", nothing, [](auto& env) { return PlayCommand(env, nullptr, "1"); },
       TUNER_INVALID_ARGUMENT, "the host passed no remote", 0},
  };
  for (const Cause& cause : causes) {
    TempDir dir;
    RecordingSerial serial;
    std::string config = "Tuner1=COM2&2,423.\n";
    cause.arrange(serial, config);
    if (!config.empty()) writeFile(dir.file("tuner.txt"), config);
    const ControlEnvironment env{DiagnosticLog{dir.file("TunerDLL.log")}, dir.file("tuner.txt"),
                                 serial, dir.file("tuning.txt")};
    const ControlResult result = cause.call(env);
    EXPECT_EQ(result.code, cause.code) << cause.what;
    EXPECT_NE(sentence(result).find(cause.says), std::string::npos)
        << cause.what << ": " << sentence(result);
    int opens = 0;
    for (const std::string& call : serial.calls) opens += call.rfind("open ", 0) == 0;
    EXPECT_EQ(opens, cause.opens) << cause.what;
  }
}

TEST(ControlResults, SentenceIsCutToItsBuffer) {
  ControlResult result;
  result.code = TUNER_NO_TUNER_LINE;
  setField(result.tuner, std::string(200, 'n').c_str());
  EXPECT_EQ(std::string(result.tuner), std::string(63, 'n'));
  char text[40];
  describeResult(result, text, sizeof text);
  EXPECT_EQ(std::string(text).size(), 39u);
  result.code = 99;
  describeResult(result, text, sizeof text);
  EXPECT_STREQ(text, "unknown result 99");
}

TEST(ControlResults, EachThreadReadsItsOwnLastResult) {
  ControlResult done;
  done.code = TUNER_DONE;
  ControlResult busy;
  busy.code = TUNER_PORT_BUSY;
  setField(busy.port, "COM7");
  rememberResult(done);
  int otherBefore = -1;
  int otherAfter = -1;
  std::string otherMessage;
  std::thread other([&] {
    otherBefore = lastResultCode();
    rememberResult(busy);
    otherAfter = lastResultCode();
    otherMessage = lastResultMessage();
  });
  other.join();
  EXPECT_EQ(otherBefore, TUNER_NO_CALL_YET);
  EXPECT_EQ(otherAfter, TUNER_PORT_BUSY);
  EXPECT_EQ(otherMessage, "port COM7 stayed held by another program for 10 s: close it");
  EXPECT_EQ(lastResultCode(), TUNER_DONE);
}

TEST(ControlResults, EveryThreadOfManyKeepsItsOwnResultAndSentence) {
  constexpr int kThreads = 80;
  std::vector<int> codes(kThreads);
  std::vector<std::string> seen(kThreads);
  std::vector<std::string> kept(kThreads);
  std::mutex lock;
  std::condition_variable changed;
  int remembered = 0;
  bool read = false;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ControlResult busy;
      busy.code = i % 2 == 0 ? TUNER_PORT_BUSY : TUNER_PORT_NOT_FOUND;
      setField(busy.port, ("COM" + std::to_string(i)).c_str());
      rememberResult(busy);
      const char* message = lastResultMessage();
      std::unique_lock<std::mutex> held(lock);
      ++remembered;
      changed.notify_all();
      // All live at once; each reads its own only after every other has written its own.
      changed.wait(held, [&] { return read; });
      codes[i] = lastResultCode();
      seen[i] = lastResultMessage();
      kept[i] = message;
    });
  }
  {
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [&] { return remembered == kThreads; });
    read = true;
    changed.notify_all();
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(codes[i], i % 2 == 0 ? TUNER_PORT_BUSY : TUNER_PORT_NOT_FOUND) << i;
    EXPECT_NE(seen[i].find("COM" + std::to_string(i) + " "), std::string::npos) << seen[i];
    EXPECT_EQ(kept[i], seen[i]) << i;
  }
  // A thread made after they all ended starts with none, whatever id it was given.
  for (int i = 0; i < kThreads; ++i) {
    int fresh = -1;
    std::thread([&] { fresh = lastResultCode(); }).join();
    ASSERT_EQ(fresh, TUNER_NO_CALL_YET);
  }
}

TEST(ControlResults, AThreadWhoseResultCannotBeKeptIsToldMemoryRanOut) {
  int code = -1;
  std::string message;
  std::thread([&] {
    testing::failAllocationAfter(0);
    ControlResult done;
    done.code = TUNER_DONE;
    rememberResult(done);
    testing::failAllocationAfter(-1);
    code = lastResultCode();
    message = lastResultMessage();
  }).join();
  EXPECT_EQ(code, TUNER_OUT_OF_MEMORY);
  EXPECT_EQ(message, resultTemplate(TUNER_OUT_OF_MEMORY));
}

TEST(ControlResults, TheGuideTellsEveryResultInTheSameWords) {
  std::ifstream guide(TUNER_SOURCE_DIR "/docs/user-guide.md");
  std::stringstream text;
  text << guide.rdbuf();
  for (int code = TUNER_DONE; code <= TUNER_KEY_OUT_OF_RANGE; ++code) {
    ASSERT_NE(resultTemplate(code), nullptr) << code;
    const std::string row = "| " + std::to_string(code) + " | ";
    const std::size_t at = text.str().find(row);
    ASSERT_NE(at, std::string::npos) << "no row for result " << code;
    const std::string line = text.str().substr(at, text.str().find('\n', at) - at);
    EXPECT_NE(line.find(resultTemplate(code)), std::string::npos) << line;
  }
  EXPECT_EQ(resultTemplate(TUNER_KEY_OUT_OF_RANGE + 1), nullptr);
}

}  // namespace
}  // namespace tuner
