#include "testing/logcapture.h"

LogCapture::LogCapture() {
  Capture(brioLog_Interface);
  Capture(lzmaLog_Interface);
}

LogCapture::LogCapture(LogInterface& log) {
  Capture(log);
}

LogCapture::LogCapture(LogInterface& log, uint32_t mask) {
  Capture(log);
  log.SetMask(mask);
}

LogCapture::~LogCapture() {
  for (const Captured& c : captured_) {
    c.log->SetSink(nullptr, nullptr);
    c.log->SetMask(c.mask);
  }
}

void LogCapture::Capture(LogInterface& log) {
  captured_.push_back({&log, log.GetMask()});
  log.SetSink(&LogCapture::Sink, this);
}

void LogCapture::Sink(void* context, uint32_t level, const char* className, const char* method,
                      const char* message) {
  static_cast<LogCapture*>(context)->records_.push_back({level, className, method, message});
}

std::string LogCapture::ConsoleLine(const Record& record) {
  char line[kLogLineBufferSize];
  const int length = LogInterface::FormatLine(line, record.level, record.className.c_str(),
                                              record.method.c_str(), record.message.c_str());
  return std::string(line, static_cast<size_t>(length));
}

std::string LogCapture::Text() const {
  std::string text;
  for (const Record& record : records_) text += ConsoleLine(record);
  return text;
}

std::vector<std::string> LogCapture::lines() const {
  std::vector<std::string> out;
  for (const Record& record : records_) {
    const size_t start = record.method.find_first_not_of(' ');
    const std::string method = start == std::string::npos ? "" : record.method.substr(start);
    out.push_back(std::string(LogInterface::LevelLabel(record.level)) + " " + record.className +
                  " " + method + " " + record.message);
  }
  return out;
}

std::vector<std::string> LogCapture::WithLabel(const std::string& label) const {
  std::vector<std::string> out;
  for (const std::string& line : lines()) {
    if (line.compare(0, label.size(), label) == 0) out.push_back(line);
  }
  return out;
}
