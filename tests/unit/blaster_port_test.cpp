// One suite over two ports: the recording fake, and the POSIX backend on a pseudo-terminal with
// blaster-sim at the other end. What the port set-up and the key exchange promise must hold on
// both; what only one of them can show is asked of the one that can: a pseudo-terminal has no
// modem lines, and its driver keeps it at 8 data bits without parity whatever is set, so there
// the line is told by its speed and stop bits.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "blaster/blaster_link.h"
#include "blaster/port_setup.h"
#include "recording_serial.h"
#include "temp_dir.h"

extern char** environ;

namespace tuner {
namespace {

using ::testing::ElementsAre;

// A port with a blaster on it, and what the blaster saw.
class Port {
 public:
  virtual ~Port() = default;
  virtual SerialServices& serial() = 0;
  virtual std::string name() = 0;
  // The line the blaster saw the probe on, as "19200 8N1".
  virtual std::string lineSeen() = 0;
  virtual std::vector<int> keysSeen() = 0;
  // Whether DTR and RTS were left low; nothing where the port has no such lines.
  virtual std::optional<bool> modemLinesLow() = 0;
};

class FakePort final : public Port {
 public:
  explicit FakePort(bool answers) { fake_.blasterAttached = answers; }
  SerialServices& serial() override { return fake_; }
  std::string name() override { return "COM5"; }
  std::string lineSeen() override {
    const LineSetup& l = fake_.lastLine;
    return std::to_string(l.baudRate) + " " + std::to_string(l.dataBits) + (l.parity ? "E" : "N") +
           std::to_string(l.stopBits);
  }
  std::vector<int> keysSeen() override { return fake_.keysSent(); }
  std::optional<bool> modemLinesLow() override {
    return !fake_.lastLine.dtr && !fake_.lastLine.rts;
  }

 private:
  testing::RecordingSerial fake_;
};

// blaster-sim on a pseudo-terminal of its own, for the length of a test.
class SimulatedPort final : public Port {
 public:
  explicit SimulatedPort(bool answers) {
    trace_ = dir_.file("frames.txt");
    const std::string out = dir_.file("terminal.txt");
    std::vector<std::string> args = {TUNER_BLASTER_SIM, "--trace", trace_};
    if (!answers) args.push_back("--silent");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 500 && terminal_.empty() && pid_ > 0; ++i) {
      std::ifstream printed(out);
      std::getline(printed, terminal_);
      if (terminal_.empty()) usleep(10000);
    }
  }
  ~SimulatedPort() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  SerialServices& serial() override { return platformSerial(); }
  std::string name() override { return terminal_.substr(std::string("/dev/").size()); }
  std::string lineSeen() override {
    for (const std::string& line : frames()) {
      if (line.find("version-query") == std::string::npos) continue;
      const auto field = [&](const char* key) {
        const std::size_t at = line.find(key);
        return at == std::string::npos
                   ? std::string("?")
                   : line.substr(at + std::strlen(key), line.find(' ', at) - at - std::strlen(key));
      };
      std::string parity = field("parity=");
      for (char& c : parity) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return field("speed=") + " " + field("data=") + parity + field("stop=");
    }
    return "no probe seen";
  }
  std::vector<int> keysSeen() override {
    std::vector<int> keys;
    for (const std::string& line : frames()) {
      const std::size_t at = line.find(" key=");
      if (at != std::string::npos) keys.push_back(std::stoi(line.substr(at + 5)));
    }
    return keys;
  }
  std::optional<bool> modemLinesLow() override { return std::nullopt; }

 private:
  std::vector<std::string> frames() {
    std::ifstream trace(trace_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(trace, line);) lines.push_back(line);
    return lines;
  }
  testing::TempDir dir_;
  std::string trace_;
  std::string terminal_;
  pid_t pid_ = -1;
};

using MakePort = std::unique_ptr<Port> (*)(bool answers);

class BlasterPortTest : public ::testing::TestWithParam<MakePort> {
 protected:
  DiagnosticLog noTrace{std::string()};
};

TEST_P(BlasterPortTest, SetUpAt19200EightNoneOneWithModemLinesLowThenKeysAcknowledged) {
  const std::unique_ptr<Port> port = GetParam()(true);
  const BlasterLink link{noTrace, port->serial()};
  PortHandle hndl = kInvalidPort;
  ASSERT_EQ(detectComPortHandle(link, port->name().c_str(), hndl), 1);
  EXPECT_EQ(port->lineSeen(), "19200 8N1");
  if (const auto low = port->modemLinesLow()) {
    EXPECT_TRUE(*low);
  }
  for (int key : {10, 4, 2}) EXPECT_EQ(Emit(link, hndl, key, 2, 423), 1) << key;
  port->serial().close(hndl);
  EXPECT_THAT(port->keysSeen(), ElementsAre(10, 4, 2));
}

TEST_P(BlasterPortTest, APortWithoutABlasterIsClosedAgain) {
  const std::unique_ptr<Port> port = GetParam()(false);
  const BlasterLink link{noTrace, port->serial()};
  PortHandle hndl = kInvalidPort;
  PortProblem problem;
  EXPECT_EQ(detectComPortHandle(link, port->name().c_str(), hndl, &problem), 0);
  EXPECT_EQ(hndl, kInvalidPort);
  EXPECT_EQ(problem.step, PortProblem::kProbe);
  EXPECT_EQ(problem.received, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryPort, BlasterPortTest,
                         ::testing::Values(
                             [](bool answers) -> std::unique_ptr<Port> {
                               return std::make_unique<FakePort>(answers);
                             },
                             [](bool answers) -> std::unique_ptr<Port> {
                               return std::make_unique<SimulatedPort>(answers);
                             }),
                         [](const ::testing::TestParamInfo<MakePort>& info) {
                           return info.index == 0 ? std::string("RecordingFake")
                                                  : std::string("PseudoTerminal");
                         });

}  // namespace
}  // namespace tuner
