// StreamCapture: collects what is written to standard output or standard error (the descriptor
// behind the stream, so output of every layer is caught) while it lives.
#pragma once

#include <cstdio>
#include <string>

#include "testing/scratchfolder.h"

class StreamCapture {
 public:
  // stream is stdout or stderr.
  explicit StreamCapture(std::FILE* stream);
  ~StreamCapture();
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;

  // False when the capture could not be set up; Text() then tells so.
  bool Capturing() const { return saved_ >= 0 || captured_; }
  // Ends the capture (the stream writes to its old place again) and returns what was caught.
  std::string Text();

 private:
  void Stop();

  std::FILE* stream_;
  ScratchFolder folder_;
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  bool captured_ = false;
};
