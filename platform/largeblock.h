// A block of memory taken straight from the system (mmap, VirtualAlloc) for the coders' large
// buffers: its pages become resident only as they are written, and all of them go back to the
// system when the block is freed, whatever the C library's allocator would keep for later.
//
// With large pages asked for, the system may back the block with them (transparent huge pages on
// Linux; nothing changes on Windows, where large pages need a privilege): a buffer that is filled
// from end to end then takes one page fault per 2 MiB instead of one per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace platform {

// Asks the system to back the whole large pages inside [data, data + size) with large pages, for
// memory from another allocator that is to be filled from end to end; advice only.
inline void AdviseLargePages(void* data, size_t size) {
#if !defined(_WIN32) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kLarge = uintptr_t{2} << 20;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kLarge - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

class LargeBlock {
 public:
  LargeBlock() = default;
  ~LargeBlock() { Free(); }
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;

  // Replaces the block with a new one of size bytes (at least 1); false, and no block, without
  // memory.
  bool Allocate(size_t size, bool largePages = false) {
    Free();
    if (size == 0) size = 1;
#ifdef _WIN32
    (void)largePages;
    base_ = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (base_ == nullptr) return false;
    mapped_ = size;
    data_ = static_cast<uint8_t*>(base_);
#else
    // Large pages must lie on their own boundaries: map that much more and start at one.
    const size_t slack = largePages ? kLargePage : 0;
    if (size > SIZE_MAX - slack) return false;
    void* base =
        ::mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return false;
    base_ = base;
    mapped_ = size + slack;
    uintptr_t start = reinterpret_cast<uintptr_t>(base);
    if (largePages) start = (start + kLargePage - 1) & ~uintptr_t{kLargePage - 1};
    data_ = reinterpret_cast<uint8_t*>(start);
#ifdef MADV_HUGEPAGE
    if (largePages)
      ::madvise(data_, size, MADV_HUGEPAGE);  // advice only: a refusal changes nothing
#endif
#endif
    size_ = size;
    return true;
  }

  void Free() {
    if (base_ == nullptr) return;
#ifdef _WIN32
    ::VirtualFree(base_, 0, MEM_RELEASE);
#else
    ::munmap(base_, mapped_);
#endif
    base_ = nullptr;
    data_ = nullptr;
    mapped_ = size_ = 0;
  }

  void Swap(LargeBlock& other) {
    std::swap(base_, other.base_);
    std::swap(data_, other.data_);
    std::swap(mapped_, other.mapped_);
    std::swap(size_, other.size_);
  }

  uint8_t* data() const {
    return data_;
  }
  size_t size() const {
    return size_;
  }

 private:
  static constexpr size_t kLargePage = size_t{2} << 20;

  void* base_ = nullptr;
  uint8_t* data_ = nullptr;
  size_t mapped_ = 0;
  size_t size_ = 0;
};

}  // namespace platform
