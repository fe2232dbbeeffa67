// Test helpers of the archive and codec tests: in-memory streams with failure injection, a
// scratch folder, and a capture of the log lines of one interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/streams.h"
#include "log/log.h"

// A reference-counted reader over bytes in memory. Each Read hands out at most chunkLimit bytes
// (0: no limit); failAtCall makes that Read (counted from 1) return failResult.
class MemoryReader : public ISequentialReader {
 public:
  explicit MemoryReader(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
  virtual ~MemoryReader() = default;
  HRESULT QueryInterface(const InterfaceId& iid, void** object) override;
  uint32_t AddRef() override { return ++refCount; }
  uint32_t Release() override;
  HRESULT Read(void* buffer, uint32_t size, uint32_t* processed) override;
  HRESULT ReadPartial(void* buffer, uint32_t size, uint32_t* processed) override;

  std::vector<uint8_t> data;
  size_t position = 0;
  uint32_t chunkLimit = 0;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
  std::vector<uint32_t> requestSizes;
  uint32_t refCount = 0;
};

// A reference-counted writer that keeps what it is given. acceptLimit caps the bytes it takes
// in all (further bytes are refused with S_OK and a short count); failAtCall makes that Write
// (counted from 1) return failResult after taking nothing.
class MemoryWriter : public ISequentialWriter {
 public:
  MemoryWriter() = default;
  virtual ~MemoryWriter() = default;
  HRESULT QueryInterface(const InterfaceId& iid, void** object) override;
  uint32_t AddRef() override { return ++refCount; }
  uint32_t Release() override;
  HRESULT Write(const void* buffer, uint32_t size, uint32_t* processed) override;
  HRESULT WritePartial(const void* buffer, uint32_t size, uint32_t* processed) override;

  std::vector<uint8_t> data;
  uint64_t acceptLimit = UINT64_MAX;
  int failAtCall = 0;
  HRESULT failResult = E_FAIL;
  std::vector<uint32_t> writeSizes;
  int nullProcessedCalls = 0;
  uint32_t refCount = 0;
};

// A fresh folder under /tmp (or the system's temporary folder), removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }
  void WriteFile(const std::string& name, const std::string& bytes) const;
  // The file's bytes; "<missing>" when it cannot be read.
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string dir_;
};

// Captures the lines of a log interface as "Label class method message" (single blanks, no
// indentation) while it lives, with the given mask; restores mask and console sink afterwards.
class LogCapture {
 public:
  LogCapture(LogInterface& log, uint32_t mask);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  const std::vector<std::string>& lines() const { return lines_; }
  // The lines that start with the label (such as "Error....").
  std::vector<std::string> WithLabel(const std::string& label) const;

 private:
  static void Sink(void* context, uint32_t level, const char* className, const char* method,
                   const char* message);
  LogInterface& log_;
  uint32_t oldMask_;
  std::vector<std::string> lines_;
};

std::vector<uint8_t> Bytes(const std::string& text);
