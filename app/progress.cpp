#include "app/progress.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/wintypes.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// "512 B", "1.5 KiB", "27.0 MiB", ...: one decimal from 1 KiB on.
void FormatBytes(char* text, size_t size, uint64_t bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) {
    std::snprintf(text, size, "%u B", static_cast<unsigned>(bytes));
    return;
  }
  double value = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  // 1023.95 and more would print as 1024.0 of the smaller unit.
  while (value >= 1023.95 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    value /= 1024;
    ++unit;
  }
  std::snprintf(text, size, "%.1f %s", value, kUnits[unit]);
}

// "0:07", "12:34", "1:02:03".
void FormatSeconds(char* text, size_t size, uint64_t seconds) {
  const auto s = static_cast<unsigned>(seconds % 60);
  const auto m = static_cast<unsigned>(seconds / 60 % 60);
  const uint64_t h = seconds / 3600;
  if (h == 0) {
    std::snprintf(text, size, "%u:%02u", m, s);
  } else {
    std::snprintf(text, size, "%llu:%02u:%02u", static_cast<unsigned long long>(h), m, s);
  }
}

}  // namespace

uint64_t CStandardErrorConsole::Milliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void CStandardErrorConsole::Write(const char* text, size_t length) {
  std::fwrite(text, 1, length, stderr);
  std::fflush(stderr);
}

bool CStandardErrorConsole::IsTerminal() {
#ifdef _WIN32
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return isatty(STDERR_FILENO) == 1;
#endif
}

CProgressLine::CProgressLine(uint64_t total, ProgressCount count, IProgressConsole* console)
    : console_(console != nullptr ? console : &systemConsole_),
      total_(total),
      count_(count),
      start_(console_->Milliseconds()),
      hooks_{{this, &brioLog_Interface, brioLog_Interface.GetSink(),
              brioLog_Interface.GetSinkContext()},
             {this, &lzmaLog_Interface, lzmaLog_Interface.GetSink(),
              lzmaLog_Interface.GetSinkContext()}} {
  for (Hook& hook : hooks_) hook.log->SetSink(&CProgressLine::ClearingSink, &hook);
}

CProgressLine::~CProgressLine() {
  Clear();
  for (Hook& hook : hooks_) hook.log->SetSink(hook.sink, hook.context);
}

void CProgressLine::ClearingSink(void* context, uint32_t level, const char* className,
                                 const char* method, const char* message) {
  const Hook* hook = static_cast<const Hook*>(context);
  hook->line->Clear();
  hook->sink(hook->context, level, className, method, message);
}

HRESULT CProgressLine::SetRatioInfo(const uint64_t* inSize, const uint64_t* outSize) {
  const uint64_t* done = count_ == ProgressCount::kInput ? inSize : outSize;
  if (done == nullptr) return S_OK;
  const uint64_t now = console_->Milliseconds();
  if (drawn_ && now - lastDraw_ < kIntervalMilliseconds) return S_OK;
  Draw(*done, now);
  return S_OK;
}

void CProgressLine::Draw(uint64_t done, uint64_t now) {
  char text[1 + kTextSize];
  text[0] = '\r';
  size_t length = 1 + Format(text + 1, done, total_, now - start_);
  // Blanks over the rest of a longer line before it.
  while (length < 1 + shown_) text[length++] = ' ';
  console_->Write(text, length);
  shown_ = length - 1;
  drawn_ = true;
  lastDraw_ = now;
}

void CProgressLine::Clear() {
  if (shown_ == 0) return;
  char text[kTextSize + 1];  // shown_ is less than kTextSize
  text[0] = '\r';
  std::memset(text + 1, ' ', shown_);
  text[shown_ + 1] = '\r';
  console_->Write(text, shown_ + 2);
  shown_ = 0;
}

size_t CProgressLine::Format(char* text, uint64_t done, uint64_t total, uint64_t elapsed) {
  if (done > total) done = total;  // the decoder puts out a few bytes beyond the data
  const unsigned percent =
      total == 0 ? 100 : static_cast<unsigned>(100.0 * static_cast<double>(done) / total);
  char doneText[24];
  char totalText[24];
  FormatBytes(doneText, sizeof doneText, done);
  FormatBytes(totalText, sizeof totalText, total);
  int length = std::snprintf(text, kTextSize, "%3u%% %s of %s", percent, doneText, totalText);
  if (elapsed >= kIntervalMilliseconds && done > 0) {
    const double rate = static_cast<double>(done) * 1000 / static_cast<double>(elapsed);
    char rateText[24];
    char leftText[24];
    FormatBytes(rateText, sizeof rateText, static_cast<uint64_t>(rate));
    FormatSeconds(leftText, sizeof leftText,
                  static_cast<uint64_t>(static_cast<double>(total - done) / rate + 0.5));
    length += std::snprintf(text + length, kTextSize - static_cast<size_t>(length),
                            ", %s/s, %s left", rateText, leftText);
  }
  // A text cut by the buffer (it never is) keeps to it.
  return length < static_cast<int>(kTextSize) ? static_cast<size_t>(length) : kTextSize - 1;
}

CProgressLine* NewTerminalProgress(uint64_t total, ProgressCount count) {
  if (total == 0 || !brioLog_Interface.IsEnabled(LogLevelInfo)) return nullptr;
  if (!CStandardErrorConsole::IsTerminal()) return nullptr;
  return new (std::nothrow) CProgressLine(total, count);
}
