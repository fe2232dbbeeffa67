// LogCapture: collects the records of log interfaces instead of writing them to standard error,
// and restores the console sink and the masks when it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "log/log.h"

class LogCapture {
 public:
  struct Record {
    uint32_t level;
    std::string className;
    std::string method;  // as the interface assembled it, indentation included
    std::string message;
  };

  // Both process interfaces, brioLog_Interface and lzmaLog_Interface, at their current masks.
  LogCapture();
  // One interface at its current mask.
  explicit LogCapture(LogInterface& log);
  // One interface, with its mask set to mask for the capture's life.
  LogCapture(LogInterface& log, uint32_t mask);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<Record>& records() const { return records_; }
  void Clear() { records_.clear(); }

  // The records as the console would print them, one line each, concatenated.
  std::string Text() const;
  // The records as "Label class method message" (single blanks, no indentation).
  std::vector<std::string> lines() const;
  // Those of lines() that start with the label (such as "Error....").
  std::vector<std::string> WithLabel(const std::string& label) const;

  // One record as the console prints it.
  static std::string ConsoleLine(const Record& record);

 private:
  struct Captured {
    LogInterface* log;
    uint32_t mask;
  };
  void Capture(LogInterface& log);
  static void Sink(void* context, uint32_t level, const char* className, const char* method,
                   const char* message);

  std::vector<Captured> captured_;
  std::vector<Record> records_;
};
