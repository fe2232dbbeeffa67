// The read-ahead block of an input file (archive/file.h): small reads are served from one block
// read ahead from the file, so that a caller reading a few bytes at a time makes one system call
// per block instead of one per call. An input file shares reading only: its opener has said that
// nobody writes the file while it is open, so the block stays true to it. Reads of at least a
// block go from what is buffered straight on into the caller's buffer. The counts that reads
// report are those of unbuffered reads of the same file.
//
// The block holds the Held() bytes of the file that end at the system file position, of which the
// caller has not yet taken the last Buffered(): the position that the caller sees is the system
// position less Buffered().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

class ReadAhead {
 public:
  static constexpr uint32_t kBlockSize = 64 * 1024;

  // The system file: Read puts at most size bytes into data and returns the count (0 at the end
  // of the file), or -1 with the system's reason left for the caller.
  class Source {
   public:
    virtual ~Source() = default;
    virtual long Read(void* data, size_t size) = 0;
  };

  // Takes the block's memory, or keeps the block it has, empty; false when there is none.
  bool Allocate();

  // Fills data with up to size bytes, as an unbuffered ReadFile would: until size bytes are there
  // or the file ends. false when a system read failed; got then holds the bytes
  // delivered before the failure, as ReadFile reports them. Needs Allocate first.
  bool Read(Source& source, uint8_t* data, uint32_t size, uint32_t& got) {
    if (size > Buffered()) return ReadBeyond(source, data, size, got);
    std::memcpy(data, block_.get() + consumed_, size);  // the common case, kept inline
    consumed_ += size;
    got = size;
    return true;
  }

  // Bytes read from the file and not yet handed to the caller.
  uint32_t Buffered() const { return size_ - consumed_; }
  // Bytes in the block, taken or not: the caller may move back over them.
  uint32_t Held() const { return size_; }

  // Moves the caller's position to target, an absolute offset, if it lies inside the block (its
  // end included), and says whether it did; otherwise nothing changes and the caller moves the
  // system position and calls Drop. systemPosition is the system file position (the block's end).
  bool SeekInside(uint64_t target, uint64_t systemPosition);

  // Forgets the buffered bytes; the block's memory stays for the next reads.
  void Drop() { size_ = consumed_ = 0; }

 private:
  bool ReadBeyond(Source& source, uint8_t* data, uint32_t size, uint32_t& got);

  std::unique_ptr<uint8_t[]> block_;
  uint32_t size_ = 0;      // bytes in the block
  uint32_t consumed_ = 0;  // of which the caller has taken these
};
