#include "base/namelist.h"

CNameEntry::CNameEntry() : next_(nullptr) {}

CNameEntry::~CNameEntry() = default;

CNameList::CNameList() : first_(nullptr), tail_(&first_), count_(0) {}

CNameList::~CNameList() {
  while (first_ != nullptr) {
    CNameEntry* entry = first_;
    Remove(entry);
    delete entry;
  }
}

// Every linked entry but a list's last has a next one, and this list's last owns tail_: the two
// tests find any entry of this list without a walk.
void CNameList::AddLast(CNameEntry* entry) {
  if (entry == nullptr || entry == this) return;
  if (entry->next_ != nullptr || tail_ == &entry->next_) return;
  *tail_ = entry;
  tail_ = &entry->next_;
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
      if (tail_ == &entry->next_) tail_ = link;
      entry->next_ = nullptr;
      --count_;
      return true;
    }
  }
  return false;
}
