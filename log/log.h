// Levelled diagnostic log of lzmulti.
//
// Two process-wide interfaces exist: brioLog_Interface for the program driver and
// lzmaLog_Interface for the stream classes. Each has its own level mask, scope stack and depth.
// A line is: nine-character label, blank, class, blank, indented method, blank, message, blank,
// line feed; it goes to standard error unless a test installed another sink.
#pragma once

#include <cstdarg>
#include <cstdint>

#if defined(__GNUC__)
#define LOG_PRINTF_FORMAT(fmt_index, first_arg) \
  __attribute__((format(printf, fmt_index, first_arg)))
#else
#define LOG_PRINTF_FORMAT(fmt_index, first_arg)
#endif

// Level bits. Note that Debug lies below Info and VVerbose above Trace.
enum LogLevel : uint32_t {
  LogLevelFatal = 2,
  LogLevelError = 4,
  LogLevelWarning = 8,
  LogLevelDebug = 16,
  LogLevelInfo = 32,
  LogLevelVerbose = 64,
  LogLevelTrace = 128,
  LogLevelVVerbose = 256,
};

// Masks in use.
constexpr uint32_t kLogMaskStartup = 62;  // Fatal..Info; value at process start and for "-v 1"
constexpr uint32_t kLogMaskDefault = 14;  // Fatal, Error, Warning
constexpr uint32_t kLogMaskVerbose = 126;
constexpr uint32_t kLogMaskVVerbose = 382;
constexpr uint32_t kLogMaskTrace = 510;

// Fixed sizes of the line assembly.
constexpr int kLogMessageBufferSize = 2048;
constexpr int kLogMethodBufferSize = 1024;
constexpr int kLogIndentLimit = 512;
constexpr int kLogLineBufferSize = 2048;

// Receives each finished record. The console sink writes it as one line to standard error.
typedef void (*LogSink)(void* context, uint32_t level, const char* className, const char* method,
                        const char* message);

class LogInterface {
 public:
  explicit LogInterface(const char* name);
  virtual ~LogInterface();
  LogInterface(const LogInterface&) = delete;
  LogInterface& operator=(const LogInterface&) = delete;

  void Error(const char* className, const char* method, const char* format, ...)
      LOG_PRINTF_FORMAT(4, 5);
  void Warning(const char* className, const char* method, const char* format, ...)
      LOG_PRINTF_FORMAT(4, 5);
  void Info(const char* className, const char* method, const char* format, ...)
      LOG_PRINTF_FORMAT(4, 5);
  void Verbose(const char* className, const char* method, const char* format, ...)
      LOG_PRINTF_FORMAT(4, 5);
  void VVerbose(const char* className, const char* method, const char* format, ...)
      LOG_PRINTF_FORMAT(4, 5);

  // Stores the mask and returns the previous one.
  uint32_t SetMask(uint32_t mask);
  uint32_t GetMask() const { return mask_; }
  bool IsEnabled(uint32_t level) const { return (mask_ & level) != 0; }

  // Builds the method field (indentation and method name) and hands the record to the sink.
  void Emit(uint32_t level, const char* className, const char* method, const char* message);

  const char* GetName() const { return name_; }
  int32_t GetDepth() const { return depth_; }

  // Scope stack, driven by LogScope.
  void OpenScope(const char* className, const char* method);
  void CloseScope();

  // Replaces the sink; a null sink restores the console sink. Returns nothing: tests that swap
  // the sink restore it themselves.
  void SetSink(LogSink sink, void* context);
  // The sink in place and its context, for whoever puts a sink in front of it for a while.
  LogSink GetSink() const { return sink_; }
  void* GetSinkContext() const { return sinkContext_; }
  static void ConsoleSink(void* context, uint32_t level, const char* className, const char* method,
                          const char* message);

  // Assembles the console line for one record into line (kLogLineBufferSize bytes) and returns its
  // length. Exposed so that the line rules can be tested without standard error.
  static int FormatLine(char* line, uint32_t level, const char* className, const char* method,
                        const char* message);
  static const char* LevelLabel(uint32_t level);

 private:
  struct Frame;
  void Message(uint32_t level, const char* className, const char* method, const char* format,
               va_list args) LOG_PRINTF_FORMAT(5, 0);

  const char* name_;
  uint32_t mask_;
  int32_t depth_;
  Frame* top_;
  LogSink sink_;
  void* sinkContext_;
};

// A traced scope, opened by the constructor and closed by the destructor on every path. Each of
// the two looks at the Trace level at its own moment: opened with Trace on, it pushes a frame and
// prints "Entering"; closed with Trace on, it prints "Leaving" for the frame on top and pops it.
// So a scope opened with Trace off and closed with it on prints a "Leaving" line (for whatever
// frame is on top, or none) and lowers the depth without having raised it, and one opened with
// Trace on and closed with it off leaves its frame on the stack and the depth raised.
class LogScope {
 public:
  LogScope(LogInterface& log, const char* className, const char* method);
  virtual ~LogScope();
  LogScope(const LogScope&) = delete;
  LogScope& operator=(const LogScope&) = delete;

 private:
  LogInterface& log_;
};

extern LogInterface brioLog_Interface;
extern LogInterface lzmaLog_Interface;
