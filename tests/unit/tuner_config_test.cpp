#include "tuner/tuner_config.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace tuner {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

class TunerConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(log.path, ""); }

  int lookUp(const std::string& content, const char* wanted) {
    writeFile(config, content);
    return ReadCfgFile(log, config, wanted, comPort, &ueitype, &ueicode);
  }
  std::string trace() const { return readFile(log.path); }

  TempDir dir;
  DiagnosticLog log{dir.file("TunerDLL.log")};
  std::string config = dir.file("tuner.txt");
  char comPort[kMaxPortNameLength + 1] = "unset";
  int ueitype = -99;
  int ueicode = -99;
};

TEST_F(TunerConfigTest, FindsTheTunerLine) {
  EXPECT_EQ(lookUp("Tuner1=COM2&1,2345.\n", "Tuner1"), 1);
  EXPECT_STREQ(comPort, "COM2");
  EXPECT_EQ(ueitype, 1);
  EXPECT_EQ(ueicode, 2345);
  EXPECT_EQ(trace(),
            "ReadCfgFile:Start\nReadCfgFile:Searching for tuner [Tuner1]\n"
            "Read [COM2] port for tuner [Tuner1]\nTuner found  ueitype[1] ueicode[2345]\n"
            "ReadCfgFile:End [1]\n");
}

TEST_F(TunerConfigTest, NamesCompareCaseSensitivelyAndWithTheirSpaces) {
  EXPECT_EQ(lookUp("Tuner1=COM2&1,2345.\n", "tuner1"), 0);
  EXPECT_EQ(lookUp("Tuner1 =COM2&1,2345.\n", "Tuner1"), 0);
  EXPECT_EQ(lookUp("Tuner1 =COM2&1,2345.\n", "Tuner1 "), 1);
}

TEST_F(TunerConfigTest, NoMatchLogsEmptyFgetsOnceAndKeepsTheLastNumbers) {
  EXPECT_EQ(lookUp("A=COM1&1,2.\nB=COM2&3,4.\n", "C"), 0);
  EXPECT_STREQ(comPort, "unset");
  EXPECT_EQ(ueitype, 3);
  EXPECT_EQ(ueicode, 4);
  const std::string log = trace();
  EXPECT_NE(
      log.find("Read [COM2] port for tuner [B]\nReadCfgFile:Empty fgets\nReadCfgFile:End [0]\n"),
      std::string::npos);
  EXPECT_EQ(log.find("Empty fgets"), log.rfind("Empty fgets"));
}

TEST_F(TunerConfigTest, EveryLookUpClosesTheFile) {
  const std::size_t descriptors = testing::openDescriptors();
  lookUp("A=COM1&1,1.\n", "A");
  lookUp("A=COM1&1,1.\n", "B");
  ReadCfgFile(log, dir.file("absent.txt"), "A", comPort, &ueitype, &ueicode);
  EXPECT_EQ(testing::openDescriptors(), descriptors);
}

TEST_F(TunerConfigTest, FirstOfTwoLinesWinsAndLaterLinesAreNotRead) {
  EXPECT_EQ(lookUp("T=COM1&1,1.\nT=COM2&2,2.\n", "T"), 1);
  EXPECT_STREQ(comPort, "COM1");
  EXPECT_EQ(trace().find("COM2"), std::string::npos);
}

TEST_F(TunerConfigTest, EmptyNameMatchesLineBeginningWithEquals) {
  EXPECT_EQ(lookUp("A=COM1&1,1.\n=COM4&5,6.\n", ""), 1);
  EXPECT_STREQ(comPort, "COM4");
}

TEST_F(TunerConfigTest, TextAfterThePeriodIsIgnoredAndLastLineNeedsNoLineFeed) {
  EXPECT_EQ(lookUp("A=COM1&1,1. living room   \nB=COM3&7,8.", "B"), 1);
  EXPECT_STREQ(comPort, "COM3");
  EXPECT_EQ(trace().find("Empty fgets"), std::string::npos);
  EXPECT_EQ(lookUp("A=COM1&1,1.\r\n", "A"), 1);
}

TEST_F(TunerConfigTest, NumbersConvertLikeDecimalConversion) {
  EXPECT_EQ(lookUp("A=COM1&  -3,+17xyz.\n", "A"), 1);
  EXPECT_EQ(ueitype, -3);
  EXPECT_EQ(ueicode, 17);
  EXPECT_EQ(lookUp("A=COM1&,abc.\n", "A"), 1);
  EXPECT_EQ(ueitype, 0);
  EXPECT_EQ(ueicode, 0);
  EXPECT_EQ(lookUp("A=COM1&99999999999,-99999999999.\n", "A"), 1);
  EXPECT_EQ(ueitype, INT_MAX);
  EXPECT_EQ(ueicode, INT_MIN);
}

TEST_F(TunerConfigTest, MissingFileIsReportedAndLeavesTheVariables) {
  EXPECT_EQ(ReadCfgFile(log, dir.file("absent.txt"), "A", comPort, &ueitype, &ueicode), 0);
  EXPECT_EQ(ueitype, -99);
  EXPECT_EQ(trace(),
            "ReadCfgFile:Start\nReadCfgFile:Searching for tuner [A]\n"
            "ReadCfgFile:Err: CfgFile was not opened\nReadCfgFile:End [0]\n");
}

TEST_F(TunerConfigTest, MalformedLinesAreSkippedWithALogLine) {
  EXPECT_EQ(lookUp("comment\nA=COM1\nA=COM1&1\nA=COM1&1,2\nA=COM9&3,4.\n", "A"), 1);
  EXPECT_STREQ(comPort, "COM9");
  EXPECT_EQ(ueitype, 3);
  const std::string log = trace();
  EXPECT_NE(log.find("ReadCfgFile: Missing '='\nReadCfgFile: Missing '&'\n"
                     "ReadCfgFile: Missing ','\nReadCfgFile: Missing '.'\n"),
            std::string::npos);
}

TEST_F(TunerConfigTest, SeparatorsMustComeInOrder) {
  // The "," before the "&" does not count.
  EXPECT_EQ(lookUp("A=CO,M1&12.\n", "A"), 0);
  EXPECT_NE(trace().find("ReadCfgFile: Missing ','"), std::string::npos);
}

TEST_F(TunerConfigTest, OverLongPortNameSkipsItsLineUntouched) {
  EXPECT_EQ(lookUp("A=COM123456789&1,2.\n", "A"), 0);
  EXPECT_STREQ(comPort, "unset");
  EXPECT_NE(trace().find("ReadCfgFile: Port name too long [COM123456789] for tuner [A]"),
            std::string::npos);
  EXPECT_EQ(lookUp("A=123456789&1,2.\n", "A"), 1);
  EXPECT_STREQ(comPort, "123456789");
}

TEST_F(TunerConfigTest, LongLinesAreReadWhole) {
  // Past the first 254 characters lies what would look like a tuner line of its own.
  const std::string line = "X=COM1&1,1." + std::string(300, ' ') + "B=COM5&2,2.\n";
  EXPECT_EQ(lookUp(line, "B"), 0);
  EXPECT_EQ(lookUp(std::string(400, 'L') + "=COM6&1,2.\n", std::string(400, 'L').c_str()), 1);
  EXPECT_STREQ(comPort, "COM6");
}

TEST_F(TunerConfigTest, ByteOrderMarkOfTheFirstLineIsSkipped) {
  EXPECT_EQ(lookUp("\xEF\xBB\xBFTuner1=COM2&1,2.\r\n", "Tuner1"), 1);
  EXPECT_STREQ(comPort, "COM2");
  // Only at the start of the file.
  EXPECT_EQ(lookUp("A=COM1&1,1.\n\xEF\xBB\xBFTuner1=COM2&1,2.\n", "Tuner1"), 0);
}

TEST_F(TunerConfigTest, EmptyFileFindsNothing) {
  EXPECT_EQ(lookUp("", "A"), 0);
  EXPECT_EQ(trace(),
            "ReadCfgFile:Start\nReadCfgFile:Searching for tuner [A]\nReadCfgFile:Empty fgets\n"
            "ReadCfgFile:End [0]\n");
}

TEST(TunerLineParsing, ReportsEachProblem) {
  TunerLine parsed;
  EXPECT_EQ(parseTunerLine("no equals", parsed), TunerLineProblem::kMissingEquals);
  EXPECT_EQ(parseTunerLine("a=b", parsed), TunerLineProblem::kMissingAmpersand);
  EXPECT_EQ(parseTunerLine("a=b&1", parsed), TunerLineProblem::kMissingComma);
  EXPECT_EQ(parseTunerLine("a=b&1,2", parsed), TunerLineProblem::kMissingPeriod);
  EXPECT_EQ(parseTunerLine("a=0123456789&1,2.", parsed), TunerLineProblem::kPortNameTooLong);
  ASSERT_EQ(parseTunerLine("a b=COM1&x,2.rest", parsed), TunerLineProblem::kNone);
  EXPECT_EQ(parsed.name, "a b");
  EXPECT_EQ(parsed.ueitypeText, "x");
  EXPECT_FALSE(isDecimalNumber(parsed.ueitypeText));
  EXPECT_TRUE(isDecimalNumber(" -12 "));
  EXPECT_FALSE(isDecimalNumber("12a"));
  EXPECT_FALSE(isDecimalNumber(""));
}

}  // namespace
}  // namespace tuner
