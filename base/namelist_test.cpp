#include "base/namelist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An entry that counts its destruction, to check who owns it.
class CountedEntry : public CNameEntry {
 public:
  CountedEntry(const char* name, int* destroyed) : destroyed_(destroyed) { SetName(name); }
  ~CountedEntry() override { ++*destroyed_; }

 private:
  int* destroyed_;
};

std::vector<std::string> Names(const CNameList& list) {
  std::vector<std::string> names;
  for (CNameEntry* e = list.GetNext(nullptr); e != nullptr; e = list.GetNext(e)) {
    names.push_back(e->GetName().GetText());
  }
  return names;
}

TEST(CNameListTest, KeepsInsertionOrderAndRemovesByIdentity) {
  int destroyed = 0;
  CNameList list;
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetNext(nullptr), nullptr);
  EXPECT_STREQ(list.GetName().GetText(), "");

  auto* a = new CountedEntry("a", &destroyed);
  auto* b = new CountedEntry("same", &destroyed);
  auto* c = new CountedEntry("same", &destroyed);
  list.AddLast(a);
  list.AddLast(b);
  list.AddLast(c);
  EXPECT_EQ(list.GetCount(), 3);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "same", "same"}));
  EXPECT_EQ(list.GetNext(c), nullptr);

  // Remove takes out that very entry, not the first one with an equal name.
  EXPECT_TRUE(list.Remove(c));
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetNext(b), nullptr);
  EXPECT_TRUE(list.Remove(a));
  EXPECT_EQ(list.GetNext(nullptr), b);
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_EQ(destroyed, 0);  // removed entries belong to the caller again
  delete a;
  delete c;
  EXPECT_EQ(destroyed, 2);
}

TEST(CNameListTest, RemoveOfTheMiddleEntryKeepsTheOthersInOrder) {
  CNameList list;
  CNameEntry* entries[3];
  const char* names[] = {"first", "middle", "last"};
  for (int i = 0; i < 3; ++i) {
    entries[i] = new CNameEntry;
    entries[i]->SetName(names[i]);
    list.AddLast(entries[i]);
  }
  ASSERT_TRUE(list.Remove(entries[1]));
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"first", "last"}));
  // Re-added at the end, it is last.
  list.AddLast(entries[1]);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"first", "last", "middle"}));
  // Once the last entries are gone, and even all of them, entries go after what is left.
  ASSERT_TRUE(list.Remove(entries[1]));
  ASSERT_TRUE(list.Remove(entries[2]));
  list.AddLast(entries[2]);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"first", "last"}));
  ASSERT_TRUE(list.Remove(entries[0]));
  ASSERT_TRUE(list.Remove(entries[2]));
  list.AddLast(entries[1]);
  list.AddLast(entries[0]);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"middle", "first"}));
  delete entries[2];
}

TEST(CNameListTest, InvalidHandOversChangeNothing) {
  CNameList list;
  auto* entry = new CNameEntry;
  entry->SetName("x");
  list.AddLast(nullptr);
  EXPECT_EQ(list.GetCount(), 0);
  list.AddLast(entry);
  list.AddLast(entry);  // already linked: a second link would make the list circular
  list.AddLast(&list);
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_EQ(list.GetNext(entry), nullptr);
  auto* second = new CNameEntry;
  list.AddLast(second);
  list.AddLast(entry);  // linked before the last one: as circular
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetNext(second), nullptr);
  ASSERT_TRUE(list.Remove(second));
  delete second;

  CNameEntry stranger;
  EXPECT_FALSE(list.Remove(&stranger));
  EXPECT_FALSE(list.Remove(nullptr));
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"x"}));
}

TEST(CNameListTest, DestructorDestroysTheLinkedEntriesOnly) {
  int destroyed = 0;
  auto* kept = new CountedEntry("kept", &destroyed);
  {
    CNameList list;
    list.AddLast(new CountedEntry("one", &destroyed));
    list.AddLast(kept);
    list.AddLast(new CountedEntry("two", &destroyed));
    list.Remove(kept);
  }
  EXPECT_EQ(destroyed, 2);
  delete kept;
  EXPECT_EQ(destroyed, 3);
}

TEST(CNameEntryTest, NameOperations) {
  CNameEntry entry;
  EXPECT_STREQ(entry.GetName().GetText(), "");
  entry.SetName("dir/a.txt");
  CNameEntry copy;
  copy.CopyFrom(entry);
  entry.SetName(nullptr);
  EXPECT_STREQ(copy.GetName().GetText(), "dir/a.txt");
  EXPECT_STREQ(entry.GetName().GetText(), "");
}

}  // namespace
