#include "archive/filestreams.h"

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

HRESULT CInFileStream::QueryInterface(const InterfaceId& iid, void** object) {
  if (iid == IID_IRandomReader) {
    *object = static_cast<IRandomReader*>(this);
  } else if (iid == IID_ISizeQuery) {
    *object = static_cast<ISizeQuery*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t CInFileStream::AddRef() {
  return ++refCount;
}

uint32_t CInFileStream::Release() {
  if (--refCount != 0) return refCount;
  delete this;
  return 0;
}

bool CInFileStream::Open(const char* name) {
  return File.Open(name);
}

HRESULT CInFileStream::Read(void* data, uint32_t size, uint32_t* processed) {
  uint32_t count = 0;
  const bool ok = File.Read(data, size, count);
  if (processed != nullptr) *processed = count;
  return ok ? S_OK : ResultFromLastError();
}

HRESULT CInFileStream::ReadPartial(void* data, uint32_t size, uint32_t* processed) {
  return Read(data, size, processed);
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

HRESULT COutFileStream::QueryInterface(const InterfaceId& iid, void** object) {
  if (!(iid == IID_IRandomWriter)) return E_NOINTERFACE;
  *object = static_cast<IRandomWriter*>(this);
  AddRef();
  return S_OK;
}

uint32_t COutFileStream::AddRef() {
  return ++refCount;
}

uint32_t COutFileStream::Release() {
  if (--refCount != 0) return refCount;
  delete this;
  return 0;
}

bool COutFileStream::Create(const char* name, bool replace) {
  return File.Create(name, replace);
}

HRESULT COutFileStream::Write(const void* data, uint32_t size, uint32_t* processed) {
  lzmaLog_Interface.VVerbose("COutFileStream", "Write", "Writing %d bytes", static_cast<int>(size));
  uint32_t count = 0;
  const bool ok = File.Write(data, size, count);
  if (processed != nullptr) *processed = count;
  return ok ? S_OK : ResultFromLastError();
}

HRESULT COutFileStream::WritePartial(const void* data, uint32_t size, uint32_t* processed) {
  return Write(data, size, processed);
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
