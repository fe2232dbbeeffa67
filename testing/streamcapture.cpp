#include "testing/streamcapture.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define fileno _fileno
#define close _close
#else
#include <unistd.h>
#endif

StreamCapture::StreamCapture(std::FILE* stream) : stream_(stream) {
  if (!folder_.Made()) return;
  file_ = std::fopen(folder_.Path("captured").c_str(), "w+b");
  if (file_ == nullptr) return;
  std::fflush(stream_);
  saved_ = dup(fileno(stream_));
  if (saved_ >= 0 && dup2(fileno(file_), fileno(stream_)) < 0) {
    close(saved_);
    saved_ = -1;
  }
}

StreamCapture::~StreamCapture() {
  Stop();
  if (file_ != nullptr) std::fclose(file_);
}

void StreamCapture::Stop() {
  if (saved_ < 0) return;
  std::fflush(stream_);
  dup2(saved_, fileno(stream_));
  close(saved_);
  saved_ = -1;
  captured_ = true;
}

std::string StreamCapture::Text() {
  Stop();
  if (file_ == nullptr) return "(nothing captured: no file for the capture)";
  std::string text;
  std::rewind(file_);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file_)) > 0) text.append(chunk, got);
  return text;
}
