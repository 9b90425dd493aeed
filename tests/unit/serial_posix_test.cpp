// The termios backend on a real pseudo-terminal: why a port does not open, and that a refused
// open leaves no descriptor behind.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "blaster/serial_services.h"
#include "temp_dir.h"

namespace tuner {
namespace {

TEST(PosixSerial, RefusedOpensSayWhyAndLeaveNoDescriptor) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
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
  EXPECT_EQ(serial.open(dir.file("plain"), error), kInvalidPort);
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

}  // namespace
}  // namespace tuner
