// The termios backend on a real pseudo-terminal: why a port does not open, and that a refused
// open leaves no descriptor behind.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "blaster/port_setup.h"
#include "blaster/serial_services.h"
#include "temp_dir.h"

namespace tuner {
namespace {

// A pseudo-terminal's master, its terminal ready to open; -1 if there is none.
int openTerminalPair() {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master >= 0 && (grantpt(master) != 0 || unlockpt(master) != 0)) {
    ::close(master);
    return -1;
  }
  return master;
}

TEST(PosixSerial, RefusedOpensSayWhyAndLeaveNoDescriptor) {
  const int master = openTerminalPair();
  ASSERT_GE(master, 0);
  const std::string terminal = ptsname(master);
  const int holder = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  testing::TempDir dir;
  testing::writeFile(dir.file("plain"), "");

  SerialServices& serial = platformSerial();
  const std::size_t descriptors = testing::openDescriptors();
  PortOpenError error = PortOpenError::kNone;
  EXPECT_EQ(serial.open(terminal, error), kInvalidPort);
  EXPECT_EQ(error, PortOpenError::kBusy);
  EXPECT_EQ(serial.open(dir.file("absent"), error), kInvalidPort);
  EXPECT_EQ(error, PortOpenError::kNotFound);
  // Only a terminal under /dev is a port: a file elsewhere, or a name that climbs out of /dev,
  // is no port at all, and a device that is no terminal is never used.
  for (const std::string& outside : {dir.file("plain"), std::string("../") + dir.file("plain"),
                                     std::string("pts/../..") + dir.file("plain")}) {
    EXPECT_EQ(serial.open(outside, error), kInvalidPort) << outside;
    EXPECT_EQ(error, PortOpenError::kNotFound) << outside;
  }
  EXPECT_EQ(serial.open("null", error), kInvalidPort);
  EXPECT_EQ(error, PortOpenError::kOther);
  EXPECT_EQ(testing::openDescriptors(), descriptors);

  // Free again: it opens, and closing gives the descriptor back.
  ::close(holder);
  const PortHandle port = serial.open(terminal, error);
  ASSERT_NE(port, kInvalidPort);
  EXPECT_EQ(error, PortOpenError::kNone);
  serial.close(port);
  EXPECT_EQ(testing::openDescriptors(), descriptors - 1);
  ::close(master);
}

// A terminal that another program holds in exclusive mode is its own, even for root; and a port
// that was set up for the blaster is left as it was found once it is closed.
TEST(PosixSerial, AnotherProgramsTerminalIsLeftAsItWas) {
  const int master = openTerminalPair();
  ASSERT_GE(master, 0);
  const std::string terminal = ptsname(master);
  const int holder = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
  termios theirs{};
  ASSERT_EQ(tcgetattr(holder, &theirs), 0);
  cfsetspeed(&theirs, B115200);
  cfmakeraw(&theirs);
  ASSERT_EQ(tcsetattr(holder, TCSANOW, &theirs), 0);
  ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
  SerialServices& serial = platformSerial();
  PortOpenError error = PortOpenError::kNone;
  EXPECT_EQ(serial.open(terminal, error), kInvalidPort);
  EXPECT_EQ(error, PortOpenError::kBusy);
  ASSERT_EQ(ioctl(holder, TIOCNXCL), 0);
  const PortHandle port = serial.open(terminal, error);
  ASSERT_NE(port, kInvalidPort);
  const char* failure = nullptr;
  ASSERT_TRUE(serial.configure(port, terminal, kBlasterLine, kFinalTimeouts, failure));
  termios during{};
  ASSERT_EQ(tcgetattr(holder, &during), 0);
  EXPECT_EQ(cfgetospeed(&during), B19200);
  serial.close(port);
  termios after{};
  ASSERT_EQ(tcgetattr(holder, &after), 0);
  EXPECT_EQ(cfgetospeed(&after), B115200);
  EXPECT_EQ(after.c_lflag, theirs.c_lflag);
  ::close(holder);
  ::close(master);
}

// A port the user may not open is refused at once as such: never taken for one that another
// program holds, which would be waited on for 10 s.
TEST(PosixSerial, PortTheUserMayNotOpenIsPermissionDenied) {
  const int master = openTerminalPair();
  ASSERT_GE(master, 0);
  const std::string terminal = ptsname(master);
  ASSERT_EQ(chmod(terminal.c_str(), 0), 0);
  // Root may open anything: the open is made by an unprivileged child.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
    PortOpenError error = PortOpenError::kNone;
    const PortHandle port = platformSerial().open(terminal, error);
    _exit(port != kInvalidPort ? 91 : static_cast<int>(error));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(PortOpenError::kAccessDenied));
  ::close(master);
}

}  // namespace
}  // namespace tuner
