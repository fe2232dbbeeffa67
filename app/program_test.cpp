#include "app/program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/testing/fakedirectorysearch.h"
#include "archive/layout.h"
#include "codec/lzmaproperties.h"
#include "halyard4_version.h"
#include "log/log.h"
#include "testing/logcapture.h"
#include "testing/memorystreams.h"
#include "testing/scratchfolder.h"
#include "testing/streamcapture.h"

namespace {

std::string Line(const char* label, const char* className, const char* method,
                 const std::string& message) {
  return std::string(label) + " " + className + " " + method + " " + message + " \n";
}

std::string Verbose(const std::string& message) {
  return Line("Verbose..", "Program", "Main", message);
}

std::string Info(const std::string& message) {
  return Line("Info.....", "Program", "Main", message);
}

std::string UsageText(const std::string& name) {
  return "Version: " HALYARD4_VERSION
         "\n"
         "Usage:\n"
         "  compression:   " +
         name +
         " [options] compressed-file [input-file]+\n"
         "  decompression: " +
         name +
         " [options] compressed-file\n"
         "  example compression:   " +
         name +
         " compressed.dpc file1 file2\n"
         "  example decompression: " +
         name +
         " compressed.dpc\n"
         "Options:  option arg | alternate | default | description\n"
         "  -e <extension> | --extension | dpc | extension of the compressed file\n"
         "  -v <loglevel> | --loglevel | 0 | verbosity (0-4, 0 = errors only)\n"
         "  -w <windowsize> | --windowsize | 23 | length history window: 2^n bytes (20-26)\n"
         "Flags:  flag | alternate | description\n"
         "  -t | --toc | show table of contents\n"
         "\n";
}

// The runs take place in a scratch folder that holds the plain files of the tests, and the
// pipelines run for real: the archive that compression writes, or the archive that decompression
// fails to open, shows which one the driver chose and what it was given.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.Made());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.path());
    // Every plain file of these tests exists once under its own name.
    for (const char* name : {"a.txt", "b.txt", "f", "f.txt", "1"}) {
      scratch_.WriteFile(name, name);
      search_.Add(name, {{name, false}});
    }
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  static std::vector<const char*> Argv(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"lzmulti"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  // Main of a fresh Program on the scripted search; standard error (the usage text) goes to usage_.
  int Run(int argc, const char* const* argv) {
    Program program;
    program.SetDirectorySearch(&search_);
    StreamCapture usage(stderr);
    const int result = program.Main(argc, argv);
    usage_ = usage.Text();
    return result;
  }
  int Main(std::initializer_list<const char*> args) {
    std::vector<const char*> argv = Argv(args);
    return Run(static_cast<int>(argv.size()), argv.data());
  }
  // ParseArgs of a fresh Program at the driver's default masks, as Main calls it.
  void Parse(std::initializer_list<const char*> args) {
    brioLog_Interface.SetMask(kLogMaskDefault);
    lzmaLog_Interface.SetMask(kLogMaskDefault);
    Program program;
    std::vector<const char*> argv = Argv(args);
    EXPECT_EQ(program.ParseArgs(static_cast<int>(argv.size()), argv.data()), 1);
  }

  // The names stored in the archive that compression wrote, in order.
  std::vector<std::string> ArchivedNames(const std::string& archive = "archive.dpc") const {
    const std::string bytes = scratch_.ReadFile(archive);
    if (bytes.size() < kLzmaPropertiesSize) return {"<no archive " + archive + ">"};
    auto* in = new MemoryReader(Bytes(bytes.substr(kLzmaPropertiesSize)));
    RefHolder<MemoryReader> hold(in);
    FieldReader reader("ProgramTest");
    uint32_t count = 0;
    reader.ReadUInt32(in, count);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count && !reader.Ended(); ++i) {
      DirectoryEntry entry;
      reader.ReadEntry(in, entry);
      names.push_back(entry.name);
    }
    return names;
  }
  // The archive's properties header in hexadecimal digits.
  std::string ArchiveHeader(const std::string& archive = "archive.dpc") const {
    std::string hex;
    for (unsigned char c : scratch_.ReadFile(archive).substr(0, kLzmaPropertiesSize)) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02x", c);
      hex += digits;
    }
    return hex;
  }
  // The lines of the driver itself (not of the pipelines), as "Label class method message".
  std::vector<std::string> DriverLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : log_.lines()) {
      if (line.find(" Program Main ") != std::string::npos ||
          line.find(" Program ExpandWildcard ") != std::string::npos) {
        lines.push_back(line);
      }
    }
    return lines;
  }
  static std::string OpenFailed(const std::string& archive) {
    return Line("Error....", "Program", "Decompress", "inStreamSpec->Open " + archive + " failed");
  }

  ScratchFolder scratch_;
  std::filesystem::path previous_;
  LogCapture log_;
  FakeDirectorySearch search_;
  std::string usage_;
};

// A name that matches nothing stops the expansion: the names after it are not looked at, and
// neither pipeline runs.
TEST_F(ProgramTest, FailedExpansionStopsAndShowsTheUsageText) {
  EXPECT_EQ(Main({"-v", "2", "archive.dpc", "a.txt", "nothere.txt", "b.txt"}), 1);
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("ExpandWildcard: a.txt") +
                             Verbose("ExpandWildcard: nothere.txt") +
                             Line("Error....", "Program", "Main",
                                  "ExpandWildcard failed: File not found: nothere.txt"));
  EXPECT_EQ(search_.started, (std::vector<std::string>{"a.txt", "nothere.txt"}));
  EXPECT_EQ(usage_, UsageText("lzmulti"));
  EXPECT_FALSE(scratch_.Exists("archive.dpc"));
}

TEST_F(ProgramTest, MissingOrBrokenArgumentVectors) {
  EXPECT_EQ(Run(0, nullptr), 1);
  EXPECT_EQ(usage_, UsageText(""));
  const char* argv[] = {"lzmulti", nullptr, "archive.dpc"};
  Run(3, argv);
  EXPECT_EQ(log_.Text(), OpenFailed("archive.dpc"));  // decompression of archive.dpc
}

TEST_F(ProgramTest, FirstPlainArgumentWithTheExtensionIsTheArchive) {
  Main({"-v", "2", "archive.dpc", "a.txt", "b.txt"});
  EXPECT_EQ(ArchivedNames(), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(DriverLines(), (std::vector<std::string>{
                               "Verbose.. Program Main Option loglevel: 2",
                               "Verbose.. Program Main ExpandWildcard: a.txt",
                               "Verbose.. Program Main ExpandWildcard: b.txt",
                               "Verbose.. Program Main Program name: lzmulti",
                               "Info..... Program Main Compressed file: archive.dpc",
                               "Info..... Program Main Input files: 2",
                           }));
}

TEST_F(ProgramTest, OnlyTheFirstPlainArgumentIsTested) {
  search_.Add("archive.dpc", {{"archive.dpc", false}});
  EXPECT_EQ(Main({"-v", "3", "a.txt", "archive.dpc"}), 1);
  EXPECT_EQ(DriverLines(), (std::vector<std::string>{
                               "Verbose.. Program Main Option loglevel: 3",
                               "Verbose.. Program Main ExpandWildcard: a.txt",
                               "VVerbose. Program ExpandWildcard AddLast: a.txt",
                               "Verbose.. Program Main ExpandWildcard: archive.dpc",
                               "VVerbose. Program ExpandWildcard AddLast: archive.dpc",
                               "Verbose.. Program Main Program name: lzmulti",
                               "Info..... Program Main Compressed file: ",
                               "VVerbose. Program Main Input file: a.txt",
                               "VVerbose. Program Main Input file: archive.dpc",
                           }));
  EXPECT_EQ(usage_, UsageText("lzmulti"));
  EXPECT_FALSE(scratch_.Exists("archive.dpc"));  // neither pipeline ran
}

TEST_F(ProgramTest, ExtensionTestIgnoresCase) {
  std::filesystem::create_directory(scratch_.Path("dir"));
  for (const char* archive : {"ARCHIVE.DPC", "dir/x.Dpc", "a.b.DPC"}) {
    Main({archive, "f"});
    EXPECT_EQ(ArchivedNames(archive), std::vector<std::string>{"f"}) << archive;
  }
  for (const char* notArchive : {"archive", "archive.dpc.bak", "dpc", "x.dpc/y", "dpc.x."}) {
    search_.Add(notArchive, {{"d", true}});  // an input name that matches a directory only
    log_.Clear();
    Main({"-v", "1", notArchive});
    EXPECT_EQ(log_.Text(), Info("Compressed file: ") + Info("Input files: 0")) << notArchive;
    EXPECT_EQ(usage_, UsageText("lzmulti")) << notArchive;
  }
}

TEST_F(ProgramTest, ExtensionOptionCountsOnlyBeforeTheArchive) {
  for (const char* archive : {"arc.zz", "ARC.ZZ"}) {
    Main({"-e", "zz", archive, "f"});
    EXPECT_EQ(ArchivedNames(archive), std::vector<std::string>{"f"}) << archive;
  }
  search_.Add("arc.zz", {{"arc.zz", false}});
  EXPECT_EQ(Main({"-v", "2", "arc.zz", "-e", "zz", "f"}), 1);
  EXPECT_EQ(DriverLines(), (std::vector<std::string>{
                               "Verbose.. Program Main Option loglevel: 2",
                               "Verbose.. Program Main Option extension: zz",
                               "Verbose.. Program Main ExpandWildcard: arc.zz",
                               "Verbose.. Program Main ExpandWildcard: f",
                               "Verbose.. Program Main Program name: lzmulti",
                               "Info..... Program Main Compressed file: ",
                               "Info..... Program Main Input files: 2",
                           }));
  EXPECT_EQ(usage_, UsageText("lzmulti"));

  // Only A to Z fold: a Latin-1 capital does not match its small letter.
  search_.Add("x.\xc4", {{"x.\xc4", false}});
  log_.Clear();
  Main({"-v", "1", "-e", "\xe4", "x.\xc4", "f"});
  EXPECT_EQ(log_.Text(), Info("Compressed file: ") + Info("Input files: 2"));
  EXPECT_EQ(usage_, UsageText("lzmulti"));
}

TEST_F(ProgramTest, WindowSizeIsConvertedAndClamped) {
  const struct {
    const char* value;
    int32_t size;
  } cases[] = {{"5", 20},
               {"99", 30},
               {"abc", 20},
               {"25", 25},
               {" 26x", 26},
               {"+21", 21},
               {"-24", 20},
               {"\t\n 29", 29},
               {"99999999999999999999", 30},
               {"-99999999999999999999", 20},
               {"", 23}};
  for (const auto& c : cases) {
    LogCapture log;
    Parse({"-v", "2", "-w", c.value});
    // An empty value is no value: "-w" is left without one and dropped.
    const std::string option =
        c.value[0] != '\0' ? Verbose("Option windowsize: " + std::to_string(c.size)) : "";
    EXPECT_EQ(log.Text(), Verbose("Option loglevel: 2") + option) << c.value;
  }
}

TEST_F(ProgramTest, LogLevelSetsBothMasks) {
  const struct {
    const char* value;
    uint32_t mask;
  } cases[] = {{"1", 62}, {"2", 126}, {"3", 382}, {"4", 510}, {"0", 14}, {"9", 14},
               {"5", 14}, {"-1", 14}, {"2x", 14}, {"01", 14}, {"4 ", 14}};
  for (const auto& c : cases) {
    Parse({"-v", c.value});
    EXPECT_EQ(brioLog_Interface.GetMask(), c.mask) << c.value;
    EXPECT_EQ(lzmaLog_Interface.GetMask(), c.mask) << c.value;
  }
  Parse({"--loglevel", "3"});
  EXPECT_EQ(brioLog_Interface.GetMask(), 382u);
}

// Help does not cut the run short: the names are expanded and the summary logged, then the usage
// text stands where the pack would have run.
TEST_F(ProgramTest, OptionLinesAppearOnlyOnceVerboseIsOn) {
  Main({"-e", "zz", "-v", "2", "-w", "25", "-t", "--extension", "dpc", "-p", "y", "-c", "no", "-h",
        "x", "archive.dpc", "a.txt"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("Option windowsize: 25") +
                             Verbose("Option toc") + Verbose("Option extension: dpc") +
                             Verbose("Option preservepath: 1") + Verbose("Option createpath: 0") +
                             Verbose("Option help") +  // "x" was the value of "-h"
                             Verbose("ExpandWildcard: a.txt") + Verbose("Program name: lzmulti") +
                             Info("Compressed file: archive.dpc") + Info("Input files: 1"));
  EXPECT_EQ(usage_, UsageText("lzmulti"));
  EXPECT_FALSE(scratch_.Exists("archive.dpc"));
}

TEST_F(ProgramTest, LongOptionNames) {
  Parse({"--loglevel", "2", "--extension", "zz", "--windowsize", "22", "--preservepath", "yes",
         "--createpath", "1", "--toc", "--help", "v"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("Option extension: zz") +
                             Verbose("Option windowsize: 22") + Verbose("Option preservepath: 1") +
                             Verbose("Option createpath: 1") + Verbose("Option toc") +
                             Verbose("Option help"));
}

TEST_F(ProgramTest, OptionNamesAndFlagValuesAreCaseSensitive) {
  Parse({"-V", "2", "-c", "YES", "-p", "Y", "-T"});
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  // "-T" is still pending at the end and dropped without a line.
  EXPECT_EQ(log_.Text(), Line("Error....", "Program", "Main", "Unknown option: -V"));
  log_.Clear();
  Parse({"-v", "2", "-c", "YES", "-p", "Y", "-T"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("Option createpath: 0") +
                             Verbose("Option preservepath: 0"));
}

TEST_F(ProgramTest, FlagValuesSetButNeverClear) {
  Parse({"-v", "2", "-c", "y", "-c", "0", "-p", "1", "-p", "YES"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("Option createpath: 1") +
                             Verbose("Option createpath: 1") + Verbose("Option preservepath: 1") +
                             Verbose("Option preservepath: 1"));
}

TEST_F(ProgramTest, PendingOptionTakesAnyValue) {
  Parse({"-v", "2", "-e", "-t", "-w", "-v"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("Option extension: -t") +
                             Verbose("Option windowsize: 20"));
  log_.Clear();
  Main({"-e", "", "zz", "arc.zz"});
  EXPECT_EQ(log_.Text(), OpenFailed("arc.zz"));  // arc.zz is the archive: the extension is zz
  log_.Clear();
  Main({"-e", "-t", "x.-t"});
  EXPECT_EQ(log_.Text(), OpenFailed("x.-t"));
}

TEST_F(ProgramTest, EmptyArgumentsAreIgnoredEntirely) {
  Main({"", "archive.dpc", "", "a.txt", ""});
  EXPECT_EQ(ArchivedNames(), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(log_.Text(), "");
}

TEST_F(ProgramTest, UnknownOptionIsLoggedAndItsValueDropped) {
  Main({"-x", "1", "archive.dpc", "--bogus", "-t", "a.txt", "-", "2", "--Help", "y"});
  EXPECT_EQ(log_.Text(), Line("Error....", "Program", "Main", "Unknown option: -x") +
                             Line("Error....", "Program", "Main", "Unknown option: --bogus") +
                             Line("Error....", "Program", "Main", "Unknown option: -") +
                             Line("Error....", "Program", "Main", "Unknown option: --Help"));
  EXPECT_EQ(ArchivedNames(), std::vector<std::string>{"a.txt"});
  log_.Clear();
  Parse({"-v", "2", "--bogus", "-t"});  // "-t" is the value of "--bogus"
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") +
                             Line("Error....", "Program", "Main", "Unknown option: --bogus"));
}

TEST_F(ProgramTest, OptionWithoutValueAtTheEndIsDroppedSilently) {
  for (const char* option : {"-w", "-h", "-v", "-x", "-e", "-p", "-c", "--loglevel"}) {
    std::filesystem::remove(scratch_.Path("archive.dpc"));
    log_.Clear();
    Main({"archive.dpc", "f", option});
    // "-h" without a value selects nothing: the run compresses with the default window size.
    EXPECT_EQ(ArchivedNames(), std::vector<std::string>{"f"}) << option;
    EXPECT_EQ(ArchiveHeader(), "5d00008000") << option;
    EXPECT_EQ(log_.Text(), "") << option;
    EXPECT_EQ(usage_, "") << option;
  }
}

TEST_F(ProgramTest, CompressionWhenTheExpansionFindsFiles) {
  search_.Add("*.txt",
              {{".", true}, {"..", true}, {"a.txt", false}, {"sub.txt", true}, {"b.txt", false}});
  Main({"-v", "1", "archive.dpc", "*.txt", "f"});
  EXPECT_EQ(ArchivedNames(), (std::vector<std::string>{"a.txt", "b.txt", "f"}));
  EXPECT_EQ(log_.Text(), Info("Compressed file: archive.dpc") + Info("Input files: 3"));
  EXPECT_EQ(usage_, "");
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  EXPECT_EQ(lzmaLog_Interface.GetMask(), kLogMaskDefault);
}

// Input names that find no file never turn the run into an unpack: only a command line without
// any does.
TEST_F(ProgramTest, DecompressionOnlyWithoutInputNames) {
  search_.Add("dir", {{"dir", true}});
  search_.Add("dir2", {{"dir2", true}});
  Main({"-v", "2", "archive.dpc", "dir", "dir2"});
  EXPECT_EQ(log_.Text(),
            Verbose("Option loglevel: 2") + Verbose("ExpandWildcard: dir") +
                Verbose("ExpandWildcard: dir2") + Verbose("Program name: lzmulti") +
                Info("Compressed file: archive.dpc") + Info("Input files: 0") +
                Line("Error....", "Program", "Main", "No file found to pack: dir, dir2"));
  EXPECT_EQ(usage_, UsageText("lzmulti"));
  log_.Clear();
  Main({"-v", "1", "archive.dpc"});
  EXPECT_EQ(log_.Text(), Info("Compressed file: archive.dpc") + Info("Input files: 0") +
                             OpenFailed("archive.dpc"));
}

TEST_F(ProgramTest, VVerboseListsEveryInputName) {
  search_.Add("*", {{"a.txt", false}, {"b.txt", false}});
  Main({"-v", "3", "archive.dpc", "*", "a.txt"});
  EXPECT_EQ(DriverLines(), (std::vector<std::string>{
                               "Verbose.. Program Main Option loglevel: 3",
                               "Verbose.. Program Main ExpandWildcard: *",
                               "VVerbose. Program ExpandWildcard AddLast: a.txt",
                               "VVerbose. Program ExpandWildcard AddLast: b.txt",
                               "Verbose.. Program Main ExpandWildcard: a.txt",
                               "VVerbose. Program ExpandWildcard AddLast: a.txt",
                               "Verbose.. Program Main Program name: lzmulti",
                               "Info..... Program Main Compressed file: archive.dpc",
                               "VVerbose. Program Main Input file: a.txt",
                               "VVerbose. Program Main Input file: b.txt",
                               "VVerbose. Program Main Input file: a.txt",
                           }));
  EXPECT_EQ(ArchivedNames(), (std::vector<std::string>{"a.txt", "b.txt", "a.txt"}));
  // The pipeline runs at the mask the command line chose.
  const std::vector<std::string> lines = log_.lines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(), "Verbose.. Program Compress WriteCoderProperties"),
      lines.end());
}

TEST_F(ProgramTest, TraceLinesAtLevelFour) {
  int32_t depth = brioLog_Interface.GetDepth();
  EXPECT_EQ(Main({"-v", "4", "f.txt"}), 1);
  // ParseArgs was opened while Trace was off: its close prints a Leaving line with empty names
  // and leaves the depth one below where it was.
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 4") + "Trace....   Leaving \n" +
                             Verbose("ExpandWildcard: f.txt") +
                             Line("Trace....", "Program", "ExpandWildcard", "Entering") +
                             Line("VVerbose.", "Program", "ExpandWildcard", "AddLast: f.txt") +
                             Line("Trace....", "Program", "ExpandWildcard", "Leaving") +
                             Verbose("Program name: lzmulti") + Info("Compressed file: ") +
                             Line("VVerbose.", "Program", "Main", "Input file: f.txt") +
                             Line("Trace....", "", "Usage", "Entering") +
                             Line("Trace....", "", "Usage", "Leaving"));
  EXPECT_EQ(brioLog_Interface.GetDepth(), depth - 1);
  EXPECT_EQ(lzmaLog_Interface.GetDepth(), 0);
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  EXPECT_EQ(usage_, UsageText("lzmulti"));
}

TEST_F(ProgramTest, LevelThreeShowsNoScopeLines) {
  int32_t depth = brioLog_Interface.GetDepth();
  Main({"-v", "3", "f.txt"});
  EXPECT_EQ(log_.Text().find("Trace...."), std::string::npos);
  EXPECT_EQ(brioLog_Interface.GetDepth(), depth);
}

}  // namespace
