// What both halves of the file object share: the read-ahead of an input file over the system's
// reads and seeks, which are file_posix.cpp's and file_win32.cpp's.
#include "archive/file.h"

// Up to size bytes from file into data, or -1 with the last error set (each half has its own).
long ReadSome(NativeFile file, void* data, uint32_t size);

namespace {

class SystemSource : public ReadAhead::Source {
 public:
  explicit SystemSource(NativeFile file) : file_(file) {}
  long Read(void* data, size_t size) override {
    return ReadSome(file_, data, static_cast<uint32_t>(size));
  }

 private:
  NativeFile file_;
};

}  // namespace

CFileHandle::CFileHandle() : handle(NoNativeFile()) {}

CFileHandle::~CFileHandle() {
  Close();
}

bool CFileHandle::Adopt(NativeFile opened) {
  Close();
  handle = opened;
  isOpen = handle != NoNativeFile();
  return isOpen;
}

// The caller's position is the system's less what the read-ahead block holds untaken. A move
// inside the block only moves the block's cursor; elsewhere the system position moves and the
// block is dropped. A move before the start fails and leaves the position as it was.
bool CFileHandle::Seek(int64_t distance, uint32_t origin, uint64_t& position) {
  if (!readsAhead_ || origin > kFromEnd) return SystemSeek(distance, origin, position);
  uint64_t system = 0;
  uint64_t length = 0;
  if (!SystemSeek(0, kFromCurrent, system) || (origin == kFromEnd && !GetLength(length))) {
    return false;
  }
  const auto base = static_cast<int64_t>(origin == kFromBeginning ? 0
                                         : origin == kFromEnd     ? length
                                                                  : system - readAhead_.Buffered());
  if ((distance > 0 && base > INT64_MAX - distance) || base + distance < 0) {
    ::SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  const auto target = static_cast<uint64_t>(base + distance);
  if (readAhead_.SeekInside(target, system)) {
    position = target;
    return true;
  }
  readAhead_.Drop();
  return SystemSeek(static_cast<int64_t>(target), kFromBeginning, position);
}

bool CFileHandle::Seek(uint64_t target, uint64_t& position) {
  return Seek(static_cast<int64_t>(target), kFromBeginning, position);
}

bool CFileHandle::GetPosition(uint64_t& position) {
  return Seek(static_cast<int64_t>(0), kFromCurrent, position);
}

// A file on disk gives everything up to its end in one go; a pipe may need several reads.
bool CInputFile::Read(void* data, uint32_t size, uint32_t& processed) {
  processed = 0;
  auto* out = static_cast<uint8_t*>(data);
  if (readsAhead_) {
    SystemSource source(handle);
    return readAhead_.Read(source, out, size, processed);
  }
  while (processed < size) {
    const long n = ReadSome(handle, out + processed, size - processed);
    if (n < 0) return false;
    if (n == 0) break;
    processed += static_cast<uint32_t>(n);
  }
  return true;
}

bool COutputFile::SetLength(uint64_t length) {
  uint64_t reached = 0;
  if (!Seek(length, reached) || reached != length) return false;
  return SetEndOfFile();
}
