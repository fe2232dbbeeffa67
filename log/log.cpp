#include "log/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

LogInterface brioLog_Interface("brioLog_Interface");
LogInterface lzmaLog_Interface("lzmaLog_Interface");

namespace {

// Copies a text into a new heap block; null for a null text or when no memory can be had.
char* CopyName(const char* name) {
  if (name == nullptr) return nullptr;
  size_t size = std::strlen(name) + 1;
  char* copy = new (std::nothrow) char[size];
  if (copy != nullptr) std::memcpy(copy, name, size);
  return copy;
}

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

}  // namespace

// One open trace scope: owned copies of its class and method names.
struct LogInterface::Frame {
  Frame(Frame* next, const char* classText, const char* methodText)
      : below(next), className(CopyName(classText)), method(CopyName(methodText)) {}
  virtual ~Frame() {
    delete[] className;
    delete[] method;
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  Frame* below;
  char* className;
  char* method;
};

LogInterface::LogInterface(const char* name)
    : name_(name),
      mask_(kLogMaskStartup),
      depth_(0),
      top_(nullptr),
      sink_(&LogInterface::ConsoleSink),
      sinkContext_(nullptr) {}

LogInterface::~LogInterface() {
  while (top_ != nullptr) {
    Frame* frame = top_;
    top_ = frame->below;
    delete frame;
  }
}

uint32_t LogInterface::SetMask(uint32_t mask) {
  uint32_t previous = mask_;
  mask_ = mask;
  return previous;
}

void LogInterface::SetSink(LogSink sink, void* context) {
  sink_ = sink != nullptr ? sink : &LogInterface::ConsoleSink;
  sinkContext_ = sink != nullptr ? context : nullptr;
}

#define LOG_DEFINE_LEVEL(Name, Level)                                                           \
  void LogInterface::Name(const char* className, const char* method, const char* format, ...) { \
    if (!IsEnabled(Level)) return;                                                              \
    va_list args;                                                                               \
    va_start(args, format);                                                                     \
    Message(Level, className, method, format, args);                                            \
    va_end(args);                                                                               \
  }

LOG_DEFINE_LEVEL(Error, LogLevelError)
LOG_DEFINE_LEVEL(Warning, LogLevelWarning)
LOG_DEFINE_LEVEL(Info, LogLevelInfo)
LOG_DEFINE_LEVEL(Verbose, LogLevelVerbose)
LOG_DEFINE_LEVEL(VVerbose, LogLevelVVerbose)

#undef LOG_DEFINE_LEVEL

void LogInterface::Message(uint32_t level, const char* className, const char* method,
                           const char* format, va_list args) {
  if (format == nullptr) {
    // The report names "Info" as the method whichever level was asked for.
    Warning(name_, "Info", "format == 0");
    return;
  }
  char message[kLogMessageBufferSize];
  std::vsnprintf(message, sizeof message, format, args);
  message[sizeof message - 1] = '\0';
  Emit(level, className, method, message);
}

void LogInterface::Emit(uint32_t level, const char* className, const char* method,
                        const char* message) {
  if (level < LogLevelFatal || level > LogLevelVVerbose) return;
  if (className == nullptr) className = "-";
  if (message == nullptr) message = "-";

  char field[kLogMethodBufferSize];
  int length = 0;
  for (int32_t pair = 1; pair < depth_; ++pair) {
    if (length >= kLogIndentLimit - 1) break;
    field[length++] = ' ';
    field[length++] = ' ';
  }
  if (method != nullptr) {
    size_t nameLength = std::strlen(method);
    size_t room = static_cast<size_t>(kLogMethodBufferSize - 3 - length);
    if (length + nameLength + 3 >= static_cast<size_t>(kLogMethodBufferSize)) nameLength = room;
    std::memcpy(field + length, method, nameLength);
    length += static_cast<int>(nameLength);
  }
  field[length] = '\0';
  sink_(sinkContext_, level, className, field, message);
}

const char* LogInterface::LevelLabel(uint32_t level) {
  switch (level) {
    case LogLevelFatal:
      return "Fatal....";
    case LogLevelError:
      return "Error....";
    case LogLevelWarning:
      return "Warning..";
    case LogLevelDebug:
      return "Debug....";
    case LogLevelInfo:
      return "Info.....";
    case LogLevelVerbose:
      return "Verbose..";
    case LogLevelTrace:
      return "Trace....";
    case LogLevelVVerbose:
      return "VVerbose.";
    default:
      return "None.....";
  }
}

int LogInterface::FormatLine(char* line, uint32_t level, const char* className, const char* method,
                             const char* message) {
  const char* fields[4] = {LevelLabel(level), OrEmpty(className), OrEmpty(method),
                           OrEmpty(message)};
  size_t length = 0;
  for (const char* text : fields) {
    size_t fieldLength = std::strlen(text);
    bool cut = length + fieldLength + 3 >= static_cast<size_t>(kLogLineBufferSize);
    if (cut) fieldLength = kLogLineBufferSize - length - 3;
    std::memcpy(line + length, text, fieldLength);
    length += fieldLength;
    line[length++] = ' ';
    if (cut) break;
  }
  line[length++] = '\n';
  line[length] = '\0';
  return static_cast<int>(length);
}

void LogInterface::ConsoleSink(void* /*context*/, uint32_t level, const char* className,
                               const char* method, const char* message) {
  char line[kLogLineBufferSize];
  int length = FormatLine(line, level, className, method, message);
  std::fwrite(line, 1, static_cast<size_t>(length), stderr);
  std::fflush(stderr);
}

void LogInterface::OpenScope(const char* className, const char* method) {
  if (!IsEnabled(LogLevelTrace)) return;
  Frame* frame = new (std::nothrow) Frame(top_, className, method);
  if (frame != nullptr) top_ = frame;
  ++depth_;
  Emit(LogLevelTrace, top_ != nullptr ? OrEmpty(top_->className) : "",
       top_ != nullptr ? OrEmpty(top_->method) : "", "Entering");
}

void LogInterface::CloseScope() {
  if (!IsEnabled(LogLevelTrace)) return;
  Emit(LogLevelTrace, top_ != nullptr ? OrEmpty(top_->className) : "",
       top_ != nullptr ? OrEmpty(top_->method) : "", "Leaving");
  --depth_;
  if (top_ != nullptr) {
    Frame* frame = top_;
    top_ = frame->below;
    delete frame;
  }
}

LogScope::LogScope(LogInterface& log, const char* className, const char* method) : log_(log) {
  log_.OpenScope(className, method);
}

LogScope::~LogScope() {
  log_.CloseScope();
}
