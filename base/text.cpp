#include "base/text.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char kEmptyText[] = "";

// A heap buffer of size bytes, or null when none can be obtained.
char* NewBuffer(size_t size) {
  return new (std::nothrow) char[size];
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

CText::CText() : buffer_(nullptr), capacity_(0) {}

CText::CText(const char* text) : buffer_(nullptr), capacity_(0) {
  Assign(text);
}

CText::CText(const CText& other) : buffer_(nullptr), capacity_(0) {
  Assign(other.GetText());
}

CText& CText::operator=(const CText& other) {
  if (this != &other) Assign(other.GetText());
  return *this;
}

CText::~CText() {
  delete[] buffer_;
}

void CText::Assign(const char* text) {
  if (text == nullptr) {
    delete[] buffer_;
    buffer_ = nullptr;
    capacity_ = 0;
    return;
  }
  size_t need = std::strlen(text) + 1;
  if (need > capacity_) {
    // The text cannot lie in the current buffer, so its content may go before the new one comes.
    size_t capacity =
        (capacity_ < kInitialCapacity && need <= kInitialCapacity) ? kInitialCapacity : 2 * need;
    delete[] buffer_;
    buffer_ = nullptr;
    capacity_ = 0;
    if (need > static_cast<size_t>(-1) / 2) return;
    buffer_ = NewBuffer(capacity);
    if (buffer_ == nullptr) return;
    capacity_ = capacity;
  }
  // The text may be a part of this very buffer.
  std::memmove(buffer_, text, need);
}

void CText::Assign(const CText& other) {
  Assign(other.GetText());
}

void CText::AssignRange(const char* first, const char* end) {
  if (first == nullptr || end == nullptr || end <= first) {
    Assign(kEmptyText);
    return;
  }
  size_t n = static_cast<size_t>(end - first);
  char stackBuffer[kStackBufferSize];
  char* temp = stackBuffer;
  if (n + 1 > sizeof(stackBuffer)) {
    temp = NewBuffer(n + 1);
    if (temp == nullptr) return;
  }
  std::memcpy(temp, first, n);
  temp[n] = '\0';
  Assign(temp);
  if (temp != stackBuffer) delete[] temp;
}

void CText::Append(const char* text) {
  if (text == nullptr) return;
  AppendRange(text, text + std::strlen(text));
}

void CText::AppendRange(const char* first, const char* end) {
  if (first == nullptr || end == nullptr || end <= first) return;
  size_t len = Length();
  size_t n = static_cast<size_t>(end - first);
  if (n > static_cast<size_t>(-1) / 4 - len) return;  // the doubled size would not fit size_t
  size_t need = len + n + 1;
  if (capacity_ > need) {
    // The range cannot overlap the bytes behind the current text, but it may lie before them.
    std::memmove(buffer_ + len, first, n);
    buffer_[len + n] = '\0';
    return;
  }
  size_t capacity;
  if (need <= kInitialCapacity) {
    capacity = kInitialCapacity;
  } else if (need > capacity_) {
    capacity = 2 * need;
  } else {
    capacity = 2 * capacity_;
  }
  char* buffer = NewBuffer(capacity);
  if (buffer == nullptr) return;
  if (len > 0) std::memcpy(buffer, buffer_, len);
  std::memcpy(buffer + len, first, n);  // the old buffer still holds the range if it lies there
  buffer[len + n] = '\0';
  delete[] buffer_;
  buffer_ = buffer;
  capacity_ = capacity;
}

void CText::AppendFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(format, args);
  va_end(args);
}

void CText::AppendFormatV(const char* format, va_list args) {
  if (format == nullptr) return;
  char stackBuffer[kStackBufferSize];
  va_list attempt;
  va_copy(attempt, args);
  int written = std::vsnprintf(stackBuffer, sizeof(stackBuffer), format, attempt);
  va_end(attempt);
  if (written < 0) return;
  size_t required = static_cast<size_t>(written);
  if (required < sizeof(stackBuffer)) {
    Append(stackBuffer);
    return;
  }
  // Too long for the stack: grow a heap buffer by doubling from the larger of the stack size and
  // the current length until the whole text fits.
  size_t size = sizeof(stackBuffer);
  size_t len = Length();
  if (len > size) size = len;
  while (size < required) {
    if (size > static_cast<size_t>(-1) / 4) return;
    size *= 2;
  }
  char* heap = NewBuffer(size + 1);
  if (heap == nullptr) return;
  va_copy(attempt, args);
  written = std::vsnprintf(heap, size + 1, format, attempt);
  va_end(attempt);
  if (written >= 0 && static_cast<size_t>(written) <= size) {
    heap[written] = '\0';
    Append(heap);
  }
  delete[] heap;
}

const char* CText::GetText() const {
  return buffer_ != nullptr ? buffer_ : kEmptyText;
}

size_t CText::Length() const {
  return buffer_ != nullptr ? std::strlen(buffer_) : 0;
}

bool CText::Equals(const char* text) const {
  if (buffer_ == nullptr) return text == nullptr || text[0] == '\0';
  if (text == nullptr) return buffer_[0] == '\0';
  return std::strcmp(buffer_, text) == 0;
}

bool CText::EqualsNoCase(const CText& other) const {
  const char* a = GetText();
  const char* b = other.GetText();
  for (;; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
    if (*a == '\0') return true;
  }
}

int CText::Find(char c) const {
  if (c == '\0' || buffer_ == nullptr) return -1;
  const char* hit = std::strchr(buffer_, c);
  return hit != nullptr ? static_cast<int>(hit - buffer_) : -1;
}

CText CText::Mid(int start, int count) const {
  CText result;
  if (count <= 0 || start < 0) {
    result.Assign(kEmptyText);
    return result;
  }
  const char* text = GetText();
  size_t len = Length();
  size_t from = static_cast<size_t>(start);
  if (from > len) from = len;
  size_t take = len - from;
  if (take > static_cast<size_t>(count)) take = static_cast<size_t>(count);
  result.AssignRange(text + from, text + from + take);
  return result;
}

bool CText::SplitFirst(char separator, CText& target) {
  // A text cannot be split into itself: a loop over such calls would never end.
  if (&target == this) return false;
  int p = Find(separator);
  if (p < 0) {
    if (Length() == 0) return false;
    target.Assign(GetText());
    Assign(static_cast<const char*>(nullptr));
    return true;
  }
  int len = static_cast<int>(Length());
  target.Assign(Mid(0, p));
  Assign(Mid(p + 1, len - p - 1));
  return true;
}

CText CText::GetExtension() const {
  CText rest(*this);
  CText component;
  while (rest.SplitFirst('/', component)) {
  }
  CText extension;
  if (component.Find('.') < 0) {
    extension.Assign(kEmptyText);
    return extension;
  }
  while (component.SplitFirst('.', extension)) {
  }
  return extension;
}

CText CText::GetDirectory() const {
  CText directory;
  const char* text = GetText();
  const char* separator = std::strrchr(text, '/');
  if (separator == nullptr) separator = std::strrchr(text, '\\');
  if (separator == nullptr) {
    directory.Assign(kEmptyText);
  } else {
    directory.AssignRange(text, separator + 1);
  }
  return directory;
}
