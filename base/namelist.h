// CNameEntry and CNameList: the driver's ordered, owning list of names.
//
// Entries are heap objects created by the caller; AddLast hands one over to the list, Remove hands
// it back, and the list's destructor destroys every entry still linked. Order is insertion order.
#pragma once

#include <cstdint>

#include "base/text.h"

class CNameList;

class CNameEntry {
 public:
  CNameEntry();
  virtual ~CNameEntry();
  CNameEntry(const CNameEntry&) = delete;
  CNameEntry& operator=(const CNameEntry&) = delete;

  void SetName(const char* name) { name_.Assign(name); }
  const CText& GetName() const { return name_; }
  // Copies the other entry's name (not its place in a list).
  void CopyFrom(const CNameEntry& other) { name_.Assign(other.name_); }

 private:
  friend class CNameList;
  CNameEntry* next_;
  CText name_;
};

// The list's own name (inherited from CNameEntry) stays empty.
class CNameList : public CNameEntry {
 public:
  CNameList();
  ~CNameList() override;

  // Links entry after the last one and takes ownership, in constant time. A null entry, or one
  // already in this list, changes nothing (linking it twice would make the list circular); so does
  // an entry that another list links to a further entry, which belongs to that list.
  void AddLast(CNameEntry* entry);
  // Null gives the first entry; an entry gives the one after it, or null after the last.
  CNameEntry* GetNext(const CNameEntry* entry) const;
  int32_t GetCount() const { return count_; }
  // Unlinks that very entry (by identity) and hands ownership back to the caller. Returns false,
  // changing nothing, when the entry is not in this list.
  bool Remove(CNameEntry* entry);

 private:
  CNameEntry* first_;
  CNameEntry** tail_;  // the link that AddLast fills: first_, or the last entry's next_
  int32_t count_;
};
