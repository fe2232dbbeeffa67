// Memory for the coders straight from the system: LargeBlock, a block (mmap, VirtualAlloc) whose
// pages become resident only as they are written and all go back to the system when it is freed,
// whatever the C library's allocator would keep for later; and what the system can give at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace platform {

// The most memory that this process can expect to get: the physical memory of the machine, and
// no more than the address space left to it (on Windows) or its limit of address space (elsewhere).
// Memory beyond it could only be had by swapping, or not at all.
inline uint64_t MemoryLimit() {
#ifdef _WIN32
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return UINT64_MAX;
  return status.ullTotalPhys < status.ullAvailVirtual ? status.ullTotalPhys
                                                      : status.ullAvailVirtual;
#else
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  uint64_t limit = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : UINT64_MAX;
  struct rlimit space;
  if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY &&
      space.rlim_cur < limit) {
    limit = space.rlim_cur;
  }
  return limit < SIZE_MAX ? limit : SIZE_MAX;
#endif
}

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
  bool Allocate(size_t size) {
    Free();
    if (size == 0) size = 1;
#ifdef _WIN32
    void* data = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (data == nullptr) return false;
#else
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) return false;
#endif
    data_ = static_cast<uint8_t*>(data);
    size_ = size;
    return true;
  }

  void Free() {
    if (data_ == nullptr) return;
#ifdef _WIN32
    ::VirtualFree(data_, 0, MEM_RELEASE);
#else
    ::munmap(data_, size_);
#endif
    data_ = nullptr;
    size_ = 0;
  }

  void Swap(LargeBlock& other) {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

  uint8_t* data() const {
    return data_;
  }
  size_t size() const {
    return size_;
  }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace platform
