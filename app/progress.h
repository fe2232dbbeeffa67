// The progress line of a pack or an unpack on a terminal: one line on standard error, rewritten in
// place ("\r" and the text, padded over what stood there before), with the share of the bytes done,
// the bytes done of the total, the rate and the time left.
//
// The coders tell their progress after every step; the line is redrawn at the first report and
// then at most once every kIntervalMilliseconds by a monotonic clock. While a line lives it clears
// itself before every log line of either interface (it puts its own sink in front of theirs), and
// when it goes. Without a terminal, or below the log's Info level, no line is made and the coders
// get no receiver: the log is what it always was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/refcounted.h"
#include "codec/coder.h"
#include "log/log.h"

// Where the line goes and the clock that paces it: standard error and the system's monotonic clock
// in the program, stand-ins in the tests.
class IProgressConsole {
 public:
  virtual ~IProgressConsole() = default;
  virtual uint64_t Milliseconds() = 0;
  // Writes the bytes as they stand.
  virtual void Write(const char* text, size_t length) = 0;
};

class CStandardErrorConsole : public IProgressConsole {
 public:
  uint64_t Milliseconds() override;
  void Write(const char* text, size_t length) override;
  // Standard error is a terminal (on Windows: a console).
  static bool IsTerminal();
};

// Which of the two counts of the coder's reports is measured against the total: the bytes that
// the encoder took in, or those that the decoder put out.
enum class ProgressCount { kInput, kOutput };

// QueryInterface answers no identity.
class CProgressLine : public CRefCounted<FaceQuery::kNone, ICompressProgressInfo> {
 public:
  static constexpr uint64_t kIntervalMilliseconds = 250;
  // Room for the longest text, "\r" and padding included.
  static constexpr size_t kTextSize = 128;

  // A line for total bytes, on console (null: standard error and the system's clock), from now.
  CProgressLine(uint64_t total, ProgressCount count, IProgressConsole* console = nullptr);
  // Clears the line and gives the log interfaces their own sinks back.
  ~CProgressLine() override;

  // Redraws the line when it is due; always S_OK.
  HRESULT SetRatioInfo(const uint64_t* inSize, const uint64_t* outSize) override;
  // Takes the line off the screen, if it is on it.
  void Clear();

  // The text of the line (without "\r" and padding) for done of total bytes, elapsed milliseconds
  // after the start, into text (kTextSize bytes); returns its length. The rate and the time left
  // appear once a whole interval has passed and some bytes are done.
  static size_t Format(char* text, uint64_t done, uint64_t total, uint64_t elapsed);

 private:
  // The sink that was in place on one log interface, and the line that clears before it.
  struct Hook {
    CProgressLine* line;
    LogInterface* log;
    LogSink sink;
    void* context;
  };
  static void ClearingSink(void* context, uint32_t level, const char* className, const char* method,
                           const char* message);
  void Draw(uint64_t done, uint64_t now);

  CStandardErrorConsole systemConsole_;
  IProgressConsole* console_;
  uint64_t total_;
  ProgressCount count_;
  uint64_t start_;
  bool drawn_ = false;     // drawn at least once
  uint64_t lastDraw_ = 0;  // when it was last drawn
  size_t shown_ = 0;       // characters that the line covers on the screen now (0: cleared)
  Hook hooks_[2];
};

// The progress line for a run of total bytes (not yet referenced) when the log shows Info lines,
// standard error is a terminal and there is something to count; null otherwise, and when no memory
// can be had for it.
CProgressLine* NewTerminalProgress(uint64_t total, ProgressCount count);
