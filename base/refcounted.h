// Reference counting of the streams and coders.
//
// CRefCounted implements IRefCounted once for every stream and coder class: it derives from the
// class's faces (the primary face first), keeps the one count that all faces share, destroys the
// object when a Release takes the count to 0, and answers QueryInterface with the face whose
// identity is asked for, or with no identity at all. RefHolder holds one reference for the life of
// a scope.
#pragma once

#include <cstdint>

#include "base/streams.h"

// Whether QueryInterface hands out the faces by their identities or answers none.
enum class FaceQuery { kAnswer, kNone };

template <FaceQuery kQuery, class... Faces>
class CRefCounted : public Faces... {
 public:
  // The face asked for, with a reference added, or E_NOINTERFACE (also for IRefCounted itself).
  HRESULT QueryInterface(const InterfaceId& iid, void** object) override {
    if (kQuery == FaceQuery::kNone || !(... || Hand<Faces>(iid, object))) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return ++refCount_; }
  uint32_t Release() override {
    if (--refCount_ != 0) return refCount_;
    delete this;
    return 0;
  }

 protected:
  CRefCounted() = default;
  virtual ~CRefCounted() = default;

 private:
  template <class Face>
  bool Hand(const InterfaceId& iid, void** object) {
    if (iid != Face::Identity()) return false;
    *object = static_cast<Face*>(this);
    return true;
  }

  uint32_t refCount_ = 0;
};

// Holds one reference to a stream or coder for the life of a scope; an empty holder (of a null
// object) holds nothing.
template <class T>
class RefHolder {
 public:
  explicit RefHolder(T* object = nullptr) : object_(object) {
    if (object_ != nullptr) object_->AddRef();
  }
  ~RefHolder() {
    if (object_ != nullptr) object_->Release();
  }
  RefHolder(const RefHolder&) = delete;
  RefHolder& operator=(const RefHolder&) = delete;
  explicit operator bool() const { return object_ != nullptr; }
  T* get() const { return object_; }
  T* operator->() const { return object_; }

 private:
  T* object_;
};
