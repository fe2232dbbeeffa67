#include "base/namelist.h"

CNameEntry::CNameEntry() : next_(nullptr) {}

CNameEntry::~CNameEntry() = default;

CNameList::CNameList() : first_(nullptr), count_(0) {}

CNameList::~CNameList() {
  while (first_ != nullptr) {
    CNameEntry* entry = first_;
    Remove(entry);
    delete entry;
  }
}

void CNameList::AddLast(CNameEntry* entry) {
  if (entry == nullptr || entry == this) return;
  CNameEntry** link = &first_;
  while (*link != nullptr) {
    if (*link == entry) return;
    link = &(*link)->next_;
  }
  entry->next_ = nullptr;
  *link = entry;
  ++count_;
}

CNameEntry* CNameList::GetNext(const CNameEntry* entry) const {
  return entry == nullptr ? first_ : entry->next_;
}

bool CNameList::Remove(CNameEntry* entry) {
  if (entry == nullptr) return false;
  for (CNameEntry** link = &first_; *link != nullptr; link = &(*link)->next_) {
    if (*link == entry) {
      *link = entry->next_;
      entry->next_ = nullptr;
      --count_;
      return true;
    }
  }
  return false;
}
