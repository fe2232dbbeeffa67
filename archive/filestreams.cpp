#include "archive/filestreams.h"

#include <string>

#include "log/log.h"

namespace {

HRESULT SeekFile(CFileHandle& file, int64_t offset, uint32_t origin, uint64_t* position) {
  if (origin >= 3) return STG_E_INVALIDFUNCTION;
  uint64_t reached = 0;
  const bool ok = file.Seek(offset, origin, reached);
  if (position != nullptr) *position = reached;
  return ok ? S_OK : ResultFromLastError();
}

}  // namespace

bool CInFileStream::Open(const char* name) {
  return File.Open(name);
}

HRESULT CInFileStream::Read(void* data, uint32_t size, uint32_t* processed) {
  uint32_t count = 0;
  const bool ok = File.Read(data, size, count);
  if (processed != nullptr) *processed = count;
  return ok ? S_OK : ResultFromLastError();
}

HRESULT CInFileStream::Seek(int64_t offset, uint32_t origin, uint64_t* position) {
  return SeekFile(File, offset, origin, position);
}

HRESULT CInFileStream::GetSize(uint64_t* size) {
  if (size == nullptr) return E_FAIL;
  uint64_t length = 0;
  if (!File.GetLength(length)) return ResultFromLastError();
  *size = length;
  return S_OK;
}

COutFileStream::~COutFileStream() {
  File.Close();
}

bool COutFileStream::Create(const char* name, bool replace) {
  return File.Create(name, replace);
}

bool COutFileStream::CreateReplacing(const char* name) {
  return replacement_.Create(name, File);
}

bool COutFileStream::Commit() {
  return replacement_.Commit(File);
}

HRESULT COutFileStream::Write(const void* data, uint32_t size, uint32_t* processed) {
  lzmaLog_Interface.VVerbose("COutFileStream", "Write", "Writing %d bytes", static_cast<int>(size));
  uint32_t count = 0;
  const bool ok = File.Write(data, size, count);
  if (processed != nullptr) *processed = count;
  if (ok) return S_OK;
  const HRESULT result = ResultFromLastError();
  if (writeError_ == 0) writeError_ = static_cast<DWORD>(result);
  return result;
}

HRESULT COutFileStream::Seek(int64_t offset, uint32_t origin, uint64_t* position) {
  return SeekFile(File, offset, origin, position);
}

HRESULT COutFileStream::SetSize(uint64_t length) {
  uint64_t saved = 0;
  if (!File.GetPosition(saved)) return E_FAIL;
  if (!File.SetLength(length)) return E_FAIL;
  uint64_t back = 0;
  if (!File.Seek(saved, back)) return E_FAIL;
  return S_OK;
}
