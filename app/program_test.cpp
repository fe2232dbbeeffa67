#include "app/program.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/testsupport.h"
#include "log/log.h"
#include "testing/logcapture.h"

namespace {

// Records which pipeline the driver chose and what it was given, instead of running it.
class RecordingProgram : public Program {
 public:
  int Compress(const CText& compressedFile, const CNameList& inputFiles) override {
    ++compressCalls;
    archive = compressedFile.GetText();
    for (CNameEntry* e = inputFiles.GetNext(nullptr); e != nullptr; e = inputFiles.GetNext(e)) {
      names.push_back(e->GetName().GetText());
    }
    maskDuringCall = brioLog_Interface.GetMask();
    return 0;
  }
  int Decompress(const CText& compressedFile) override {
    ++decompressCalls;
    archive = compressedFile.GetText();
    maskDuringCall = brioLog_Interface.GetMask();
    return 0;
  }

  int compressCalls = 0;
  int decompressCalls = 0;
  std::string archive;
  std::vector<std::string> names;
  uint32_t maskDuringCall = 0;
};

std::string Line(const char* label, const char* className, const char* method,
                 const std::string& message) {
  return std::string(label) + " " + className + " " + method + " " + message + " \n";
}

std::string Verbose(const std::string& message) {
  return Line("Verbose..", "Program", "Main", message);
}

std::string UsageText(const std::string& name) {
  return "Version: 1.0.1\n"
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

std::vector<std::string> Names(const CNameList& list) {
  std::vector<std::string> names;
  for (CNameEntry* e = list.GetNext(nullptr); e != nullptr; e = list.GetNext(e)) {
    names.push_back(e->GetName().GetText());
  }
  return names;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_.SetDirectorySearch(&search_);
    program_.SetUsageStream(usage_.Stream());
    // Every plain file of these tests exists once under its own name.
    for (const char* name : {"a.txt", "b.txt", "f", "f.txt", "archive.dpc", "1"}) {
      search_.Add(name, {{name, false}});
    }
  }

  static std::vector<const char*> Argv(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"lzmulti"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  int Main(std::initializer_list<const char*> args) {
    std::vector<const char*> argv = Argv(args);
    return program_.Main(static_cast<int>(argv.size()), argv.data());
  }
  // Parses at the driver's default masks, as Main does.
  void Parse(std::initializer_list<const char*> args) {
    brioLog_Interface.SetMask(kLogMaskDefault);
    lzmaLog_Interface.SetMask(kLogMaskDefault);
    std::vector<const char*> argv = Argv(args);
    EXPECT_EQ(program_.ParseArgs(static_cast<int>(argv.size()), argv.data()), 1);
  }

  LogCapture log_;
  UsageCapture usage_;
  FakeDirectorySearch search_;
  RecordingProgram program_;
};

TEST_F(ProgramTest, Defaults) {
  EXPECT_STREQ(program_.GetProgramName().GetText(), "");
  EXPECT_EQ(program_.GetMode(), Program::ModeUndecided);
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "");
  EXPECT_STREQ(program_.GetExtension().GetText(), "dpc");
  EXPECT_EQ(program_.GetInputFiles().GetCount(), 0);
  EXPECT_EQ(program_.GetWindowSize(), 23);
  EXPECT_EQ(program_.GetPreservePath(), 0);
  EXPECT_EQ(program_.GetCreatePath(), 0);
  EXPECT_EQ(program_.GetToc(), 0);
}

TEST_F(ProgramTest, NoArgumentsShowTheUsageTextOnly) {
  EXPECT_EQ(Main({}), 1);
  EXPECT_EQ(program_.GetMode(), Program::ModeUsage);
  EXPECT_EQ(usage_.Text(), UsageText("lzmulti"));
  EXPECT_EQ(log_.Text(), "");
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  EXPECT_EQ(lzmaLog_Interface.GetMask(), kLogMaskDefault);
}

TEST_F(ProgramTest, UsageTextNamesTheProgramAsInvokedAndPrintsTheDefaults) {
  const char* argv[] = {"./bin/lz%s.exe", "-e", "zz", "-w", "21", "-v", "0", "x.zz", "missing"};
  EXPECT_EQ(program_.Main(9, argv), 1);
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "x.zz");
  EXPECT_EQ(usage_.Text(), UsageText("./bin/lz%s.exe"));
  EXPECT_EQ(log_.Text(),
            Line("Error....", "Program", "Main", "ExpandWildcard failed: File not found: missing"));
}

TEST_F(ProgramTest, MissingOrBrokenArgumentVectors) {
  EXPECT_EQ(program_.Main(0, nullptr), 1);
  EXPECT_EQ(usage_.Text(), UsageText(""));
  const char* argv[] = {"lzmulti", nullptr, "archive.dpc"};
  RecordingProgram other;
  other.SetDirectorySearch(&search_);
  other.SetUsageStream(usage_.Stream());
  other.Main(3, argv);
  EXPECT_EQ(other.decompressCalls, 1);
  EXPECT_EQ(other.archive, "archive.dpc");
}

TEST_F(ProgramTest, FirstPlainArgumentWithTheExtensionIsTheArchive) {
  Parse({"archive.dpc", "a.txt", "b.txt"});
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "archive.dpc");
  EXPECT_EQ(Names(program_.GetInputFiles()), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(program_.GetProgramName().Equals("lzmulti"), true);
}

TEST_F(ProgramTest, OnlyTheFirstPlainArgumentIsTested) {
  EXPECT_EQ(Main({"a.txt", "archive.dpc"}), 1);
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "");
  EXPECT_EQ(Names(program_.GetInputFiles()), (std::vector<std::string>{"a.txt", "archive.dpc"}));
  EXPECT_EQ(program_.GetMode(), Program::ModeUsage);
  EXPECT_EQ(program_.compressCalls + program_.decompressCalls, 0);
}

TEST_F(ProgramTest, ExtensionTestIgnoresCase) {
  for (const char* archive : {"ARCHIVE.DPC", "dir/x.Dpc", "a.b.DPC"}) {
    RecordingProgram program;
    std::vector<const char*> argv = Argv({archive, "f"});
    program.SetDirectorySearch(&search_);
    program.ParseArgs(static_cast<int>(argv.size()), argv.data());
    EXPECT_STREQ(program.GetCompressedFile().GetText(), archive);
  }
  for (const char* notArchive : {"archive", "archive.dpc.bak", "dpc", "x.dpc/y", "dpc.x."}) {
    RecordingProgram program;
    std::vector<const char*> argv = Argv({notArchive});
    program.ParseArgs(static_cast<int>(argv.size()), argv.data());
    EXPECT_STREQ(program.GetCompressedFile().GetText(), "") << notArchive;
  }
}

TEST_F(ProgramTest, ExtensionOptionCountsOnlyBeforeTheArchive) {
  Parse({"-e", "zz", "arc.zz", "f"});
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "arc.zz");
  EXPECT_EQ(Names(program_.GetInputFiles()), (std::vector<std::string>{"f"}));

  RecordingProgram late;
  late.SetDirectorySearch(&search_);
  late.SetUsageStream(usage_.Stream());
  std::vector<const char*> argv = Argv({"arc.zz", "-e", "zz", "f"});
  EXPECT_EQ(late.Main(static_cast<int>(argv.size()), argv.data()), 1);
  EXPECT_STREQ(late.GetCompressedFile().GetText(), "");
  EXPECT_STREQ(late.GetExtension().GetText(), "zz");
  EXPECT_EQ(late.GetMode(), Program::ModeUsage);
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
    RecordingProgram program;
    LogCapture log;
    std::vector<const char*> argv = Argv({"-v", "2", "-w", c.value});
    program.ParseArgs(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(program.GetWindowSize(), c.size) << c.value;
    if (c.value[0] != '\0') {
      EXPECT_EQ(log.Text(), Verbose("Option loglevel: 2") +
                                Verbose("Option windowsize: " + std::to_string(c.size)))
          << c.value;
    }
  }
}

TEST_F(ProgramTest, LogLevelSetsBothMasks) {
  const struct {
    const char* value;
    uint32_t mask;
  } cases[] = {{"1", 62}, {"2", 126}, {"3", 382}, {"4", 510},
               {"0", 14}, {"9", 14},  {"01", 14}, {"4 ", 14}};
  for (const auto& c : cases) {
    Parse({"-v", c.value});
    EXPECT_EQ(brioLog_Interface.GetMask(), c.mask) << c.value;
    EXPECT_EQ(lzmaLog_Interface.GetMask(), c.mask) << c.value;
  }
  Parse({"--loglevel", "3"});
  EXPECT_EQ(brioLog_Interface.GetMask(), 382u);
}

TEST_F(ProgramTest, OptionLinesAppearOnlyOnceVerboseIsOn) {
  Parse({"-e", "zz", "-v", "2", "-w", "25", "-t", "--extension", "qq", "-p", "y", "-c", "no", "-h",
         "x"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("Option windowsize: 25") +
                             Verbose("Option toc") + Verbose("Option extension: qq") +
                             Verbose("Option preservepath: 1") + Verbose("Option createpath: 0") +
                             Verbose("Option help"));
  EXPECT_EQ(program_.GetToc(), 1);
  EXPECT_EQ(program_.GetMode(), Program::ModeUsage);
  EXPECT_EQ(program_.GetInputFiles().GetCount(), 0);  // "x" was the value of "-h"
}

TEST_F(ProgramTest, LongOptionNames) {
  Parse({"--loglevel", "2", "--extension", "zz", "--windowsize", "22", "--preservepath", "yes",
         "--createpath", "1", "--toc", "--help", "v"});
  EXPECT_STREQ(program_.GetExtension().GetText(), "zz");
  EXPECT_EQ(program_.GetWindowSize(), 22);
  EXPECT_EQ(program_.GetPreservePath(), 1);
  EXPECT_EQ(program_.GetCreatePath(), 1);
  EXPECT_EQ(program_.GetToc(), 1);
  EXPECT_EQ(program_.GetMode(), Program::ModeUsage);
}

TEST_F(ProgramTest, OptionNamesAndFlagValuesAreCaseSensitive) {
  Parse({"-V", "2", "-c", "YES", "-p", "Y", "-T"});
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  EXPECT_EQ(program_.GetCreatePath(), 0);
  EXPECT_EQ(program_.GetPreservePath(), 0);
  EXPECT_EQ(program_.GetToc(), 0);
  // "-T" is still pending at the end and dropped without a line.
  EXPECT_EQ(log_.Text(), Line("Error....", "Program", "Main", "Unknown option: -V"));
}

TEST_F(ProgramTest, FlagValuesSetButNeverClear) {
  Parse({"-c", "y", "-c", "0", "-p", "1", "-p", "YES"});
  EXPECT_EQ(program_.GetCreatePath(), 1);
  EXPECT_EQ(program_.GetPreservePath(), 1);
}

TEST_F(ProgramTest, PendingOptionTakesAnyValue) {
  Parse({"-e", "-t"});
  EXPECT_STREQ(program_.GetExtension().GetText(), "-t");
  EXPECT_EQ(program_.GetToc(), 0);
  Parse({"-e", "", "zz", "arc.zz"});
  EXPECT_STREQ(program_.GetExtension().GetText(), "zz");
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "arc.zz");
}

TEST_F(ProgramTest, EmptyArgumentsAreIgnoredEntirely) {
  Parse({"", "archive.dpc", "", "a.txt", ""});
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "archive.dpc");
  EXPECT_EQ(Names(program_.GetInputFiles()), (std::vector<std::string>{"a.txt"}));
}

TEST_F(ProgramTest, UnknownOptionIsLoggedAndItsValueDropped) {
  Parse({"-x", "1", "archive.dpc", "--bogus", "-t", "a.txt", "-", "2"});
  EXPECT_EQ(log_.Text(), Line("Error....", "Program", "Main", "Unknown option: -x") +
                             Line("Error....", "Program", "Main", "Unknown option: --bogus") +
                             Line("Error....", "Program", "Main", "Unknown option: -"));
  EXPECT_STREQ(program_.GetCompressedFile().GetText(), "archive.dpc");
  EXPECT_EQ(Names(program_.GetInputFiles()), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(program_.GetToc(), 0);  // "-t" was the value of "--bogus"
}

TEST_F(ProgramTest, OptionWithoutValueAtTheEndIsDroppedSilently) {
  for (const char* option : {"-w", "-h", "-v", "-x", "-e"}) {
    RecordingProgram program;
    LogCapture log;
    UsageCapture usage;
    program.SetDirectorySearch(&search_);
    program.SetUsageStream(usage.Stream());
    std::vector<const char*> argv = Argv({"archive.dpc", "f", option});
    program.Main(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(program.GetWindowSize(), 23);
    EXPECT_STREQ(program.GetExtension().GetText(), "dpc");
    EXPECT_EQ(program.compressCalls, 1) << option;  // "-h" without a value selects nothing
    EXPECT_EQ(log.Text(), "") << option;
    EXPECT_EQ(usage.Text(), "") << option;
  }
}

TEST_F(ProgramTest, CompressionWhenTheExpansionFindsFiles) {
  search_.Add("*.txt",
              {{".", true}, {"..", true}, {"a.txt", false}, {"sub.txt", true}, {"b.txt", false}});
  Main({"-v", "1", "archive.dpc", "*.txt", "f"});
  EXPECT_EQ(program_.GetMode(), Program::ModeCompress);
  EXPECT_EQ(program_.compressCalls, 1);
  EXPECT_EQ(program_.decompressCalls, 0);
  EXPECT_EQ(program_.archive, "archive.dpc");
  EXPECT_EQ(program_.names, (std::vector<std::string>{"a.txt", "b.txt", "f"}));
  EXPECT_EQ(program_.maskDuringCall, kLogMaskStartup);
  EXPECT_EQ(log_.Text(), Line("Info.....", "Program", "Main", "Compressed file: archive.dpc") +
                             Line("Info.....", "Program", "Main", "Input files: 3"));
  EXPECT_EQ(usage_.Text(), "");
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  EXPECT_EQ(lzmaLog_Interface.GetMask(), kLogMaskDefault);
}

TEST_F(ProgramTest, DecompressionWhenTheNamesMatchOnlyDirectories) {
  search_.Add("dir", {{"dir", true}});
  Main({"-v", "2", "archive.dpc", "dir"});
  EXPECT_EQ(program_.GetMode(), Program::ModeDecompress);
  EXPECT_EQ(program_.decompressCalls, 1);
  EXPECT_EQ(program_.compressCalls, 0);
  EXPECT_EQ(program_.archive, "archive.dpc");
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 2") + Verbose("ExpandWildcard: dir") +
                             Verbose("Program name: lzmulti") +
                             Line("Info.....", "Program", "Main", "Compressed file: archive.dpc") +
                             Line("Info.....", "Program", "Main", "Input files: 0"));

  RecordingProgram alone;
  alone.SetDirectorySearch(&search_);
  std::vector<const char*> argv = Argv({"archive.dpc"});
  alone.Main(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(alone.decompressCalls, 1);
}

TEST_F(ProgramTest, VVerboseListsEveryInputName) {
  search_.Add("*", {{"a.txt", false}, {"b.txt", false}});
  Main({"-v", "3", "archive.dpc", "*", "a.txt"});
  EXPECT_EQ(log_.Text(), Verbose("Option loglevel: 3") + Verbose("ExpandWildcard: *") +
                             Line("VVerbose.", "Program", "ExpandWildcard", "AddLast: a.txt") +
                             Line("VVerbose.", "Program", "ExpandWildcard", "AddLast: b.txt") +
                             Verbose("ExpandWildcard: a.txt") +
                             Line("VVerbose.", "Program", "ExpandWildcard", "AddLast: a.txt") +
                             Verbose("Program name: lzmulti") +
                             Line("Info.....", "Program", "Main", "Compressed file: archive.dpc") +
                             Line("VVerbose.", "Program", "Main", "Input file: a.txt") +
                             Line("VVerbose.", "Program", "Main", "Input file: b.txt") +
                             Line("VVerbose.", "Program", "Main", "Input file: a.txt"));
  EXPECT_EQ(program_.names, (std::vector<std::string>{"a.txt", "b.txt", "a.txt"}));
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
                             Verbose("Program name: lzmulti") +
                             Line("Info.....", "Program", "Main", "Compressed file: ") +
                             Line("VVerbose.", "Program", "Main", "Input file: f.txt") +
                             Line("Trace....", "", "Usage", "Entering") +
                             Line("Trace....", "", "Usage", "Leaving"));
  EXPECT_EQ(brioLog_Interface.GetDepth(), depth - 1);
  EXPECT_EQ(lzmaLog_Interface.GetDepth(), 0);
  EXPECT_EQ(brioLog_Interface.GetMask(), kLogMaskDefault);
  EXPECT_EQ(usage_.Text(), UsageText("lzmulti"));
}

TEST_F(ProgramTest, LevelThreeShowsNoScopeLines) {
  int32_t depth = brioLog_Interface.GetDepth();
  Main({"-v", "3", "f.txt"});
  EXPECT_EQ(log_.Text().find("Trace...."), std::string::npos);
  EXPECT_EQ(brioLog_Interface.GetDepth(), depth);
}

}  // namespace
