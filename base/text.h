// CText: the driver's text class.
//
// An 8-bit, zero-terminated text in the system code page. The buffer is owned by the object and
// may be absent; an absent buffer reads as the empty text. Lengths and indexes count bytes; the
// length is not stored but counted on every call.
//
// Growth: the first buffer of a short text is 64 bytes; a buffer is replaced only when the content
// and its terminator no longer fit, and then grows to twice the size needed. Buffers never shrink,
// except that assigning a null text releases the buffer.
//
// Nothing is thrown: when no buffer can be obtained, Assign leaves the text empty and the append
// operations leave it unchanged.
#pragma once

#include <cstdarg>
#include <cstddef>

#if defined(__GNUC__)
#define TEXT_PRINTF_FORMAT(fmt_index, first_arg) \
  __attribute__((format(printf, fmt_index, first_arg)))
#else
#define TEXT_PRINTF_FORMAT(fmt_index, first_arg)
#endif

class CText {
 public:
  // Size of the first buffer of a short text.
  static constexpr size_t kInitialCapacity = 64;
  // Size of the stack buffers of AssignRange and AppendFormat.
  static constexpr size_t kStackBufferSize = 8192;

  CText();
  CText(const char* text);  // NOLINT(google-explicit-constructor): texts convert freely
  CText(const CText& other);
  CText& operator=(const CText& other);
  // The destructor and Assign of a terminated text are virtual for the layout of the object's
  // virtual table, which the design fixes; nothing overrides them.
  virtual ~CText();

  // Replaces the content; null releases the buffer and leaves the text empty.
  virtual void Assign(const char* text);
  void Assign(const CText& other);
  // Replaces the content with the bytes [first, end). A null or reversed range assigns the empty
  // text.
  void AssignRange(const char* first, const char* end);

  // Appends a terminated text; null changes nothing.
  void Append(const char* text);
  // Appends the bytes [first, end); a null pointer or an empty range changes nothing.
  void AppendRange(const char* first, const char* end);
  // Appends the formatted text, of any length. When no buffer large enough can be obtained, or the
  // template cannot be formatted, the text is left unchanged.
  void AppendFormat(const char* format, ...) TEXT_PRINTF_FORMAT(2, 3);
  void AppendFormatV(const char* format, va_list args) TEXT_PRINTF_FORMAT(2, 0);

  // The content; never null (an absent buffer gives a shared, read-only empty text).
  const char* GetText() const;
  // Bytes before the terminator.
  size_t Length() const;
  // Bytes the buffer holds, terminator included; 0 without a buffer.
  size_t Capacity() const { return capacity_; }
  bool HasBuffer() const { return buffer_ != nullptr; }

  // Case-sensitive equality; an absent buffer, a null and an empty text are all equal.
  bool Equals(const char* text) const;
  // Equality ignoring the case of the ASCII letters A-Z only.
  bool EqualsNoCase(const CText& other) const;

  // Index of the first occurrence of c, or -1 (also for the terminator and on an empty text).
  int Find(char c) const;
  // At most count characters from index start; a count of 0 or less gives the empty text, as does
  // a start beyond the end.
  CText Mid(int start, int count) const;
  // Moves the part before the first separator into target and keeps the rest. Without a separator
  // the whole content moves and this text becomes empty (buffer released). Returns false, changing
  // nothing, when this text is empty or target is this text itself.
  bool SplitFirst(char separator, CText& target);

  // Extension of the last path component, where only "/" separates components. The component is
  // cut at every dot and the last piece is the extension; a dot at the very end opens no piece.
  // "a.tar.gz" gives "gz", "name" gives "", "name." gives "name", ".hidden" gives "hidden",
  // "dir.d/file" gives "", "dir.dile" gives "dile".
  CText GetExtension() const;
  // The text up to and including its last "/", or, when there is none, its last backslash; empty
  // when there is neither. A "/" anywhere wins over a later backslash: "a/b\c" gives "a/".
  CText GetDirectory() const;

 private:
  char* buffer_;
  size_t capacity_;
};
