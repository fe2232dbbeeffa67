#include "app/program.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "halyard4_version.h"
#include "log/log.h"

namespace {

// Defaults, shared by the constructor and the usage text: the usage text always prints these,
// never the values a command line set.
const char kDefaultWindowSize[] = "23";
const char kDefaultExtension[] = "dpc";
const char kDefaultLogLevel[] = "0";

const int32_t kMinWindowSize = 20;
const int32_t kMaxWindowSize = 30;

// Decimal conversion by the atoi rule: leading white space skipped, an optional sign, the digits
// up to the first other character, 0 when there are none. Values beyond the 32-bit range saturate
// instead of overflowing.
int32_t ParseDecimal(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  const int64_t limit = int64_t{INT32_MAX} + 1;
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > limit) value = limit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

bool IsYes(const CText& value) {
  return value.Equals("1") || value.Equals("yes") || value.Equals("y");
}

void SetBothMasks(uint32_t mask) {
  brioLog_Interface.SetMask(mask);
  lzmaLog_Interface.SetMask(mask);
}

}  // namespace

Program::Program()
    : mode_(ModeUndecided),
      extension_(kDefaultExtension),
      windowSize_(ParseDecimal(kDefaultWindowSize)),
      preservePath_(0),
      createPath_(0),
      toc_(0),
      search_(&systemSearch_) {}

// The name list destroys the names still in it; the texts release their buffers.
Program::~Program() = default;

void Program::SetDirectorySearch(IDirectorySearch* search) {
  search_ = search != nullptr ? search : &systemSearch_;
}

bool Program::AppendName(CNameList& list, const char* name) {
  CNameEntry* entry = new (std::nothrow) CNameEntry;
  if (entry == nullptr) return false;
  entry->SetName(name);
  list.AddLast(entry);
  return true;
}

int Program::Main(int argc, const char* const* argv) {
  LogScope scope(brioLog_Interface, "Program", "Main");
  SetBothMasks(kLogMaskDefault);
  ParseArgs(argc, argv);
  if (ExpandInputNames()) {
    LogSummary();
  } else {
    mode_ = ModeUsage;
  }
  ChooseMode();
  const int result = RunMode();
  SetBothMasks(kLogMaskDefault);
  return result;
}

// Every input name is a pattern, whether or not it holds a wildcard.
bool Program::ExpandInputNames() {
  for (CNameEntry* entry = inputPatterns_.GetNext(nullptr); entry != nullptr;
       entry = inputPatterns_.GetNext(entry)) {
    const CText& pattern = entry->GetName();
    brioLog_Interface.Verbose("Program", "Main", "ExpandWildcard: %s", pattern.GetText());
    CText errorText;
    if (!ExpandWildcard(pattern, inputFiles_, errorText)) {
      brioLog_Interface.Error("Program", "Main", "ExpandWildcard failed: %s", errorText.GetText());
      return false;
    }
  }
  return true;
}

void Program::LogSummary() {
  brioLog_Interface.Verbose("Program", "Main", "Program name: %s", programName_.GetText());
  brioLog_Interface.Info("Program", "Main", "Compressed file: %s", compressedFile_.GetText());
  if (!brioLog_Interface.IsEnabled(LogLevelVVerbose)) {
    brioLog_Interface.Info("Program", "Main", "Input files: %d", inputFiles_.GetCount());
    return;
  }
  for (CNameEntry* entry = inputFiles_.GetNext(nullptr); entry != nullptr;
       entry = inputFiles_.GetNext(entry)) {
    brioLog_Interface.VVerbose("Program", "Main", "Input file: %s", entry->GetName().GetText());
  }
}

// A mode already chosen (by the help option or a failed expansion) stays. Otherwise the files that
// the expansion found decide: some are packed; without any, the archive is unpacked, but only when
// the command line named no input at all. Input names that found nothing to pack must not turn the
// run into an unpack that replaces newer files with the archive's: that ends in the usage text.
void Program::ChooseMode() {
  if (mode_ != ModeUndecided) return;
  if (compressedFile_.Length() == 0) {
    mode_ = ModeUsage;
  } else if (inputFiles_.GetCount() > 0) {
    mode_ = ModeCompress;
  } else if (inputPatterns_.GetCount() > 0) {
    CText names;
    for (CNameEntry* entry = inputPatterns_.GetNext(nullptr); entry != nullptr;
         entry = inputPatterns_.GetNext(entry)) {
      if (names.Length() > 0) names.Append(", ");
      names.Append(entry->GetName().GetText());
    }
    brioLog_Interface.Error("Program", "Main", "No file found to pack: %s", names.GetText());
    mode_ = ModeUsage;
  } else {
    mode_ = ModeDecompress;
  }
}

int Program::RunMode() {
  switch (mode_) {
    case ModeCompress:
      return Compress(compressedFile_, inputFiles_);
    case ModeDecompress:
      return Decompress(compressedFile_);
    default:
      return Usage();
  }
}

int Program::ParseArgs(int argc, const char* const* argv) {
  LogScope scope(brioLog_Interface, "Program", "ParseArgs");
  if (argv == nullptr || argc < 1) return 1;
  programName_.Assign(argv[0]);

  CText pending;
  CText value;
  bool firstPlain = true;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (argument == nullptr || argument[0] == '\0') continue;  // not even a value
    if (pending.Length() > 0) {
      // Whatever it looks like, this is the pending option's value.
      value.Assign(argument);
      ApplyOption(pending, value);
      pending.Assign("");
    } else if (argument[0] == '-') {
      CText option(argument);
      if (option.Equals("-t") || option.Equals("--toc")) {
        toc_ = 1;
        brioLog_Interface.Verbose("Program", "Main", "Option toc");
      } else {
        pending.Assign(option);
      }
    } else {
      CText plain(argument);
      if (firstPlain) {
        firstPlain = false;
        if (plain.GetExtension().EqualsNoCase(extension_)) {
          compressedFile_.Assign(plain);
          continue;
        }
      }
      // A name that cannot be kept must not vanish silently from the run: show the usage text.
      if (!AppendName(inputPatterns_, argument)) mode_ = ModeUsage;
    }
  }
  // An option still pending has no value and is dropped without a message.
  return 1;
}

void Program::ApplyOption(const CText& option, const CText& value) {
  if (option.Equals("-v") || option.Equals("--loglevel")) {
    if (value.Equals("1")) {
      SetBothMasks(kLogMaskStartup);
    } else if (value.Equals("2")) {
      SetBothMasks(kLogMaskVerbose);
    } else if (value.Equals("3")) {
      SetBothMasks(kLogMaskVVerbose);
    } else if (value.Equals("4")) {
      SetBothMasks(kLogMaskTrace);
    }
    brioLog_Interface.Verbose("Program", "Main", "Option loglevel: %s", value.GetText());
  } else if (option.Equals("-e") || option.Equals("--extension")) {
    extension_.Assign(value);
    brioLog_Interface.Verbose("Program", "Main", "Option extension: %s", extension_.GetText());
  } else if (option.Equals("-w") || option.Equals("--windowsize")) {
    windowSize_ = ParseDecimal(value.GetText());
    if (windowSize_ < kMinWindowSize) windowSize_ = kMinWindowSize;
    if (windowSize_ > kMaxWindowSize) windowSize_ = kMaxWindowSize;
    brioLog_Interface.Verbose("Program", "Main", "Option windowsize: %d", windowSize_);
  } else if (option.Equals("-h") || option.Equals("--help")) {
    mode_ = ModeUsage;
    brioLog_Interface.Verbose("Program", "Main", "Option help");
  } else if (option.Equals("-p") || option.Equals("--preservepath")) {
    if (IsYes(value)) preservePath_ = 1;
    brioLog_Interface.Verbose("Program", "Main", "Option preservepath: %d", preservePath_);
  } else if (option.Equals("-c") || option.Equals("--createpath")) {
    if (IsYes(value)) createPath_ = 1;
    brioLog_Interface.Verbose("Program", "Main", "Option createpath: %d", createPath_);
  } else {
    brioLog_Interface.Error("Program", "Main", "Unknown option: %s", option.GetText());
  }
}

void Program::LogNoMemory(const char* method, uint32_t windowBytes, uint64_t memory) {
  char window[32];
  int power = 0;
  while (power < 32 && (uint64_t{1} << power) < windowBytes) ++power;
  if ((uint64_t{1} << power) == windowBytes) {
    std::snprintf(window, sizeof window, "2^%d bytes", power);
  } else {
    std::snprintf(window, sizeof window, "%u bytes", windowBytes);
  }
  const double gib = static_cast<double>(memory) / (1 << 30);
  brioLog_Interface.Error("Program", method,
                          "Not enough memory for a window of %s (about %.1f GiB)", window,
                          gib < 0.1 ? 0.1 : gib);
}

int Program::Usage() {
  LogScope scope(brioLog_Interface, "", "Usage");
  FILE* out = stderr;
  const char* name = programName_.GetText();
  std::fprintf(out, "Version: " HALYARD4_VERSION "\n");
  std::fprintf(out, "Usage:\n");
  std::fprintf(out, "  compression:   %s [options] compressed-file [input-file]+\n", name);
  std::fprintf(out, "  decompression: %s [options] compressed-file\n", name);
  std::fprintf(out, "  example compression:   %s compressed.%s file1 file2\n", name,
               kDefaultExtension);
  std::fprintf(out, "  example decompression: %s compressed.%s\n", name, kDefaultExtension);
  std::fprintf(out, "Options:  option arg | alternate | default | description\n");
  std::fprintf(out, "  %s <extension> | %s | %s | extension of the compressed file\n", "-e",
               "--extension", kDefaultExtension);
  std::fprintf(out, "  %s <loglevel> | %s | %s | verbosity (0-4, 0 = errors only)\n", "-v",
               "--loglevel", kDefaultLogLevel);
  std::fprintf(out, "  %s <windowsize> | %s | %s | length history window: 2^n bytes (20-26)\n",
               "-w", "--windowsize", kDefaultWindowSize);
  std::fprintf(out, "Flags:  flag | alternate | description\n");
  std::fprintf(out, "  %s | %s | show table of contents\n", "-t", "--toc");
  std::fprintf(out, "\n");
  std::fflush(out);
  return 1;
}
