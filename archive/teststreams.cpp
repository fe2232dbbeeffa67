#include "archive/teststreams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

HRESULT MemoryReader::QueryInterface(const InterfaceId& iid, void** object) {
  if (!(iid == IID_ISequentialReader)) return E_NOINTERFACE;
  *object = static_cast<ISequentialReader*>(this);
  AddRef();
  return S_OK;
}

uint32_t MemoryReader::Release() {
  if (--refCount != 0) return refCount;
  delete this;
  return 0;
}

HRESULT MemoryReader::Read(void* buffer, uint32_t size, uint32_t* processed) {
  requestSizes.push_back(size);
  if (processed != nullptr) *processed = 0;
  if (failAtCall != 0 && static_cast<int>(requestSizes.size()) == failAtCall) return failResult;
  size_t n = data.size() - position;
  if (n > size) n = size;
  if (chunkLimit != 0 && n > chunkLimit) n = chunkLimit;
  if (n > 0) std::memcpy(buffer, data.data() + position, n);
  position += n;
  if (processed != nullptr) *processed = static_cast<uint32_t>(n);
  return S_OK;
}

HRESULT MemoryReader::ReadPartial(void* buffer, uint32_t size, uint32_t* processed) {
  return Read(buffer, size, processed);
}

HRESULT MemoryWriter::QueryInterface(const InterfaceId& iid, void** object) {
  if (!(iid == IID_ISequentialWriter)) return E_NOINTERFACE;
  *object = static_cast<ISequentialWriter*>(this);
  AddRef();
  return S_OK;
}

uint32_t MemoryWriter::Release() {
  if (--refCount != 0) return refCount;
  delete this;
  return 0;
}

HRESULT MemoryWriter::Write(const void* buffer, uint32_t size, uint32_t* processed) {
  writeSizes.push_back(size);
  if (processed == nullptr) ++nullProcessedCalls;
  if (processed != nullptr) *processed = 0;
  if (failAtCall != 0 && static_cast<int>(writeSizes.size()) == failAtCall) return failResult;
  uint64_t room = acceptLimit > data.size() ? acceptLimit - data.size() : 0;
  uint32_t n = room < size ? static_cast<uint32_t>(room) : size;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  data.insert(data.end(), bytes, bytes + n);
  if (processed != nullptr) *processed = n;
  return S_OK;
}

HRESULT MemoryWriter::WritePartial(const void* buffer, uint32_t size, uint32_t* processed) {
  return Write(buffer, size, processed);
}

ScratchDir::ScratchDir() {
#ifdef _WIN32
  // An absolute path, so that tests may change the current directory into it.
  char base[] = "lzmulti-unit-XXXXXX";
  char cwd[1024] = {};
  if (_getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '.';
  dir_ = std::string(cwd) + "/" + _mktemp(base);
  for (char& c : dir_) {
    if (c == '\\') c = '/';
  }
  _mkdir(dir_.c_str());
#else
  char pattern[] = "/tmp/lzmulti-unit-XXXXXX";
  const char* made = mkdtemp(pattern);
  dir_ = made != nullptr ? made : "/tmp";
#endif
}

ScratchDir::~ScratchDir() {
#ifdef _WIN32
  std::string native = dir_;
  for (char& c : native) {
    if (c == '/') c = '\\';
  }
  std::string cmd = "rmdir /s /q \"" + native + "\"";
#else
  std::string cmd = "rm -rf '" + dir_ + "'";
#endif
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir_.c_str());
}

void ScratchDir::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream out(Path(name), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchDir::ReadFile(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ScratchDir::Exists(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  return static_cast<bool>(in);
}

LogCapture::LogCapture(LogInterface& log, uint32_t mask) : log_(log), oldMask_(log.SetMask(mask)) {
  log_.SetSink(&LogCapture::Sink, this);
}

LogCapture::~LogCapture() {
  log_.SetSink(nullptr, nullptr);
  log_.SetMask(oldMask_);
}

void LogCapture::Sink(void* context, uint32_t level, const char* className, const char* method,
                      const char* message) {
  auto* self = static_cast<LogCapture*>(context);
  std::string m(method);
  m.erase(0, m.find_first_not_of(' '));
  self->lines_.push_back(std::string(LogInterface::LevelLabel(level)) + " " + className + " " + m +
                         " " + message);
}

std::vector<std::string> LogCapture::WithLabel(const std::string& label) const {
  std::vector<std::string> out;
  for (const auto& line : lines_) {
    if (line.compare(0, label.size(), label) == 0) out.push_back(line);
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}
