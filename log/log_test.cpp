#include "log/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/logcapture.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  LogTest() : log_("testLog_Interface"), capture_(log_) {}

  static std::string Line(const LogCapture::Record& r) { return LogCapture::ConsoleLine(r); }

  LogInterface log_;
  LogCapture capture_;
};

TEST_F(LogTest, StartsWithTheStartupMaskAndSetMaskReturnsThePreviousOne) {
  EXPECT_EQ(log_.GetMask(), 62u);
  EXPECT_EQ(log_.SetMask(14), 62u);
  EXPECT_EQ(log_.SetMask(510), 14u);
  EXPECT_TRUE(log_.IsEnabled(LogLevelTrace));
  log_.SetMask(382);
  EXPECT_FALSE(log_.IsEnabled(LogLevelTrace));
  EXPECT_TRUE(log_.IsEnabled(LogLevelVVerbose));
}

TEST_F(LogTest, OnlyEnabledLevelsReachTheSink) {
  log_.SetMask(kLogMaskDefault);
  log_.Info("Program", "Main", "Input files: %d", 3);
  log_.Verbose("Program", "Main", "x");
  log_.VVerbose("Program", "Main", "x");
  log_.Error("Program", "Main", "Unknown option: %s", "-x");
  log_.Warning("Program", "Main", "w");
  ASSERT_EQ(capture_.records().size(), 2u);
  EXPECT_EQ(Line(capture_.records()[0]), "Error.... Program Main Unknown option: -x \n");
  EXPECT_EQ(Line(capture_.records()[1]), "Warning.. Program Main w \n");
}

TEST_F(LogTest, LineLayoutAndLabels) {
  log_.SetMask(kLogMaskTrace);
  log_.Info("Program", "Main", "Input files: %d", 3);
  log_.Verbose("", "Decompress", "Code");
  log_.VVerbose("COutFileStream", "Write", "Writing %d bytes", 1);
  ASSERT_EQ(capture_.records().size(), 3u);
  EXPECT_EQ(Line(capture_.records()[0]), "Info..... Program Main Input files: 3 \n");
  EXPECT_EQ(Line(capture_.records()[1]), "Verbose..  Decompress Code \n");
  EXPECT_EQ(Line(capture_.records()[2]), "VVerbose. COutFileStream Write Writing 1 bytes \n");

  const uint32_t levels[] = {2, 4, 8, 16, 32, 64, 128, 256, 3, 255};
  const char* labels[] = {"Fatal....", "Error....", "Warning..", "Debug....", "Info.....",
                          "Verbose..", "Trace....", "VVerbose.", "None.....", "None....."};
  for (size_t i = 0; i < 10; ++i) EXPECT_STREQ(LogInterface::LevelLabel(levels[i]), labels[i]);
}

TEST_F(LogTest, EmitDropsLevelsOutsideTheRangeAndReplacesAbsentTexts) {
  log_.Emit(1, "C", "M", "m");
  log_.Emit(257, "C", "M", "m");
  log_.Emit(0, "C", "M", "m");
  EXPECT_TRUE(capture_.records().empty());
  log_.Emit(3, nullptr, nullptr, nullptr);
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(Line(capture_.records()[0]), "None..... -  - \n");
}

TEST_F(LogTest, PercentInAnArgumentIsPrintedLiterally) {
  log_.Error("Program", "Main", "ExpandWildcard failed: %s", "File not found: 100%s%d.txt");
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(capture_.records()[0].message, "ExpandWildcard failed: File not found: 100%s%d.txt");
  EXPECT_EQ(Line(capture_.records()[0]),
            "Error.... Program Main ExpandWildcard failed: File not found: 100%s%d.txt \n");
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
TEST_F(LogTest, AbsentTemplateIsReportedAsWarningNamingInfo) {
  const char* volatile absent = nullptr;
  log_.SetMask(kLogMaskDefault);
  log_.Verbose("Program", "Main", absent);  // disabled level: nothing at all
  EXPECT_TRUE(capture_.records().empty());
  log_.Error("Program", "Main", absent);
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(Line(capture_.records()[0]), "Warning.. testLog_Interface Info format == 0 \n");
  capture_.Clear();
  log_.SetMask(LogLevelError);  // Error on, Warning off: the report is not printed
  log_.Error("Program", "Main", absent);
  EXPECT_TRUE(capture_.records().empty());
}
#pragma GCC diagnostic pop

TEST_F(LogTest, MessagesAreCutAt2047Characters) {
  std::string longText(3000, 'x');
  log_.Error("C", "M", "%s", longText.c_str());
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(capture_.records()[0].message, std::string(2047, 'x'));

  // "Error.... C M " is 14 characters; the message is cut so that blank, line feed and
  // terminator still fit the 2048-byte line.
  std::string line = Line(capture_.records()[0]);
  EXPECT_EQ(line.size(), 2047u);
  EXPECT_EQ(line, "Error.... C M " + std::string(2048 - 14 - 3, 'x') + " \n");
}

TEST_F(LogTest, AnOverlongClassCutsTheLineAndDropsTheLaterFields) {
  std::string longClass(2100, 'c');
  char line[kLogLineBufferSize];
  int length = LogInterface::FormatLine(line, LogLevelError, longClass.c_str(), "M", "message");
  std::string text(line, static_cast<size_t>(length));
  EXPECT_EQ(text, "Error.... " + std::string(2048 - 10 - 3, 'c') + " \n");
  EXPECT_EQ(line[length], '\0');

  // A class that just fits is copied whole; the method field after it no longer fits, is cut to
  // nothing and still gets its blank, and the message is dropped.
  std::string fits(2048 - 10 - 3 - 1, 'c');
  length = LogInterface::FormatLine(line, LogLevelError, fits.c_str(), "M", "message");
  EXPECT_EQ(std::string(line, static_cast<size_t>(length)), "Error.... " + fits + "  \n");
  EXPECT_EQ(length, 2047);
}

TEST_F(LogTest, ScopesPrintEnteringAndLeavingWithMatchingIndentation) {
  log_.SetMask(kLogMaskTrace);
  {
    LogScope outer(log_, "Program", "Compress");
    EXPECT_EQ(log_.GetDepth(), 1);
    {
      LogScope inner(log_, "Program", "ExpandWildcard");
      EXPECT_EQ(log_.GetDepth(), 2);
      log_.VVerbose("Program", "ExpandWildcard", "AddLast: %s", "a.txt");
    }
  }
  EXPECT_EQ(log_.GetDepth(), 0);
  ASSERT_EQ(capture_.records().size(), 5u);
  EXPECT_EQ(Line(capture_.records()[0]), "Trace.... Program Compress Entering \n");
  EXPECT_EQ(Line(capture_.records()[1]), "Trace.... Program   ExpandWildcard Entering \n");
  EXPECT_EQ(Line(capture_.records()[2]), "VVerbose. Program   ExpandWildcard AddLast: a.txt \n");
  EXPECT_EQ(Line(capture_.records()[3]), "Trace.... Program   ExpandWildcard Leaving \n");
  EXPECT_EQ(Line(capture_.records()[4]), "Trace.... Program Compress Leaving \n");
}

TEST_F(LogTest, ScopesOutsideTraceDoNothingAndTheDecisionIsTakenAtEachEnd) {
  log_.SetMask(kLogMaskVVerbose);
  {
    LogScope scope(log_, "Program", "ParseArgs");
    EXPECT_EQ(log_.GetDepth(), 0);
    log_.SetMask(kLogMaskTrace);  // switched on while the scope is open
  }
  // The close finds no frame: one Leaving line with empty class and method, depth -1.
  EXPECT_EQ(log_.GetDepth(), -1);
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(Line(capture_.records()[0]), "Trace....   Leaving \n");

  capture_.Clear();
  {
    LogScope scope(log_, "Program", "Compress");  // at depth 0: no indentation
    log_.SetMask(kLogMaskDefault);
  }
  // Opened with Trace on, closed with it off: the frame stays and the depth stays raised.
  EXPECT_EQ(log_.GetDepth(), 0);
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(Line(capture_.records()[0]), "Trace.... Program Compress Entering \n");
  log_.SetMask(kLogMaskTrace);
  { LogScope closer(log_, "Other", "Op"); }
  // A later scope stacks above the frame left behind and takes its own frame away again.
  ASSERT_EQ(capture_.records().size(), 3u);
  EXPECT_EQ(capture_.records()[2].className, "Other");
  log_.CloseScope();  // pops the frame left behind
  EXPECT_EQ(capture_.records().back().className, "Program");
  EXPECT_EQ(capture_.records().back().message, "Leaving");
}

TEST_F(LogTest, IndentationIsCappedAt512BlanksAndTheMethodFieldAt1023Bytes) {
  log_.SetMask(kLogMaskTrace);
  for (int i = 0; i < 300; ++i) log_.OpenScope("C", "M");
  capture_.Clear();
  log_.Error("C", "M", "m");
  ASSERT_EQ(capture_.records().size(), 1u);
  EXPECT_EQ(capture_.records()[0].method, std::string(512, ' ') + "M");

  std::string longMethod(1000, 'm');
  log_.Error("C", longMethod.c_str(), "m");
  EXPECT_EQ(capture_.records()[1].method, std::string(512, ' ') + std::string(1021 - 512, 'm'));
  for (int i = 0; i < 300; ++i) log_.CloseScope();
  EXPECT_EQ(log_.GetDepth(), 0);
  capture_.Clear();

  // Without indentation a method of 1020 characters fits whole; a longer one keeps 1021.
  std::string m1020(1020, 'a'), m1030(1030, 'b');
  log_.Error("C", m1020.c_str(), "m");
  log_.Error("C", m1030.c_str(), "m");
  ASSERT_EQ(capture_.records().size(), 2u);
  EXPECT_EQ(capture_.records()[0].method, m1020);
  EXPECT_EQ(capture_.records()[1].method, std::string(1021, 'b'));
}

TEST_F(LogTest, EachInterfaceHasItsOwnDepth) {
  LogInterface other("otherLog_Interface");
  LogCapture otherCapture(other);
  log_.SetMask(kLogMaskTrace);
  other.SetMask(kLogMaskTrace);
  LogScope a(log_, "A", "One");
  LogScope b(log_, "A", "Two");
  LogScope c(other, "B", "Three");
  EXPECT_EQ(log_.GetDepth(), 2);
  EXPECT_EQ(other.GetDepth(), 1);
  ASSERT_EQ(otherCapture.records().size(), 1u);
  EXPECT_EQ(otherCapture.records()[0].method, "Three");
}

TEST(LogGlobals, BothProcessInterfacesExistWithTheirNames) {
  EXPECT_STREQ(brioLog_Interface.GetName(), "brioLog_Interface");
  EXPECT_STREQ(lzmaLog_Interface.GetName(), "lzmaLog_Interface");
}

}  // namespace
