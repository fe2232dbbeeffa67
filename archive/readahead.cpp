#include "archive/readahead.h"

#include <cstring>
#include <new>

namespace {

// Reads until size bytes are there or the file ends; false on a failed read, with got set.
bool ReadFully(ReadAhead::Source& source, uint8_t* data, uint32_t size, uint32_t& got) {
  got = 0;
  while (got < size) {
    const long n = source.Read(data + got, size - got);
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<uint32_t>(n);
  }
  return true;
}

}  // namespace

bool ReadAhead::Allocate() {
  Drop();
  if (block_ != nullptr) return true;
  block_.reset(new (std::nothrow) uint8_t[kBlockSize]);
  return block_ != nullptr;
}

bool ReadAhead::ReadBeyond(Source& source, uint8_t* data, uint32_t size, uint32_t& got) {
  got = 0;
  for (;;) {
    const uint32_t take = Buffered() < size - got ? Buffered() : size - got;
    if (take > 0) {
      std::memcpy(data + got, block_.get() + consumed_, take);
      consumed_ += take;
      got += take;
    }
    if (got == size) return true;
    // The block is used up. A large rest goes straight into the caller's buffer.
    Drop();
    const uint32_t rest = size - got;
    if (rest >= kBlockSize) {
      uint32_t direct = 0;
      const bool ok = ReadFully(source, data + got, rest, direct);
      got += direct;
      return ok;
    }
    uint32_t filled = 0;
    const bool ok = ReadFully(source, block_.get(), kBlockSize, filled);
    size_ = filled;
    if (ok && filled == 0) return true;  // the end of the file
    // A read that fails after bytes enough for this call shows at the next call, as it would
    // without the block; one that fails before ends this call with the bytes it did deliver.
    if (!ok && filled < rest) {
      std::memcpy(data + got, block_.get(), filled);
      got += filled;
      Drop();
      return false;
    }
  }
}

bool ReadAhead::SeekInside(uint64_t target, uint64_t systemPosition) {
  if (systemPosition < size_) return false;  // not where the block was read; cannot happen
  const uint64_t start = systemPosition - size_;
  if (target < start || target > systemPosition) return false;
  consumed_ = static_cast<uint32_t>(target - start);
  return true;
}
