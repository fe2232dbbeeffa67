#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

// The text class obtains its buffers with the non-throwing array new; this test program replaces
// that operator so that a test can make every such allocation fail.
namespace {
bool failBufferAllocations = false;

class AllocationFailure {
 public:
  AllocationFailure() { failBufferAllocations = true; }
  ~AllocationFailure() { failBufferAllocations = false; }
};
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failBufferAllocations) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

std::string Repeat(char c, size_t n) {
  return std::string(n, c);
}

TEST(CTextTest, AbsentBufferAndEmptyTextReadAlike) {
  CText absent;
  CText empty("");
  for (const CText* text : {&absent, &empty}) {
    ASSERT_NE(text->GetText(), nullptr);
    EXPECT_STREQ(text->GetText(), "");
    EXPECT_EQ(text->Length(), 0u);
    EXPECT_TRUE(text->Equals(""));
    EXPECT_TRUE(text->Equals(nullptr));
    EXPECT_FALSE(text->Equals("a"));
    EXPECT_EQ(text->Find('a'), -1);
  }
  EXPECT_FALSE(absent.HasBuffer());
  EXPECT_EQ(absent.Capacity(), 0u);
  // Assigning the empty text obtains the first buffer, holding only the terminator.
  EXPECT_TRUE(empty.HasBuffer());
  EXPECT_EQ(empty.Capacity(), 64u);
  EXPECT_TRUE(absent.EqualsNoCase(empty));
  EXPECT_TRUE(empty.EqualsNoCase(absent));

  // Null releases the buffer.
  empty.Assign(static_cast<const char*>(nullptr));
  EXPECT_FALSE(empty.HasBuffer());
  EXPECT_EQ(empty.Capacity(), 0u);
  EXPECT_STREQ(empty.GetText(), "");
}

TEST(CTextTest, AssignGrowsToSixtyFourThenTwiceTheNeed) {
  CText text;
  text.Assign("abc");
  EXPECT_EQ(text.Capacity(), 64u);
  text.Assign(Repeat('x', 63).c_str());  // 64 bytes with the terminator: still fits
  EXPECT_EQ(text.Capacity(), 64u);
  EXPECT_EQ(text.Length(), 63u);
  text.Assign(Repeat('y', 64).c_str());  // needs 65
  EXPECT_EQ(text.Capacity(), 130u);
  EXPECT_EQ(text.GetText(), Repeat('y', 64));
  text.Assign("short");  // buffers never shrink
  EXPECT_EQ(text.Capacity(), 130u);
  EXPECT_STREQ(text.GetText(), "short");

  CText large(Repeat('z', 200).c_str());  // a long first text gets twice its need at once
  EXPECT_EQ(large.Capacity(), 402u);
  EXPECT_EQ(large.Length(), 200u);
}

TEST(CTextTest, AssignFromItselfAndCopies) {
  CText text("hello world");
  text.Assign(text.GetText() + 6);
  EXPECT_STREQ(text.GetText(), "world");
  text.Assign(text);
  EXPECT_STREQ(text.GetText(), "world");

  CText copy(text);
  CText assigned;
  assigned = text;
  text.Assign("changed");
  EXPECT_STREQ(copy.GetText(), "world");
  EXPECT_STREQ(assigned.GetText(), "world");
  CText copyOfAbsent{CText()};
  EXPECT_STREQ(copyOfAbsent.GetText(), "");
}

TEST(CTextTest, AppendRangeGrowthRules) {
  CText text;
  text.Append("ab");
  EXPECT_EQ(text.Capacity(), 64u);
  text.Append(Repeat('c', 60).c_str());  // length 62, need 63 < 64: in place
  EXPECT_EQ(text.Capacity(), 64u);
  text.Append("d");  // need 64 equals the capacity: a new 64-byte buffer
  EXPECT_EQ(text.Capacity(), 64u);
  EXPECT_EQ(text.Length(), 63u);
  text.Append("e");  // need 65
  EXPECT_EQ(text.Capacity(), 130u);
  EXPECT_EQ(text.GetText(), "ab" + Repeat('c', 60) + "de");

  text.Append(Repeat('f', 65).c_str());  // length 129, need 130 equals the capacity: doubled
  EXPECT_EQ(text.Capacity(), 260u);
  EXPECT_EQ(text.Length(), 129u);
  EXPECT_EQ(std::string(text.GetText()).substr(64), Repeat('f', 65));
}

TEST(CTextTest, AppendOfNothingChangesNothing) {
  CText absent;
  absent.Append(nullptr);
  absent.Append("");
  absent.AppendRange(nullptr, nullptr);
  const char* s = "xyz";
  absent.AppendRange(s, s);
  absent.AppendRange(s + 2, s);  // reversed
  absent.AppendRange(nullptr, s + 2);
  EXPECT_FALSE(absent.HasBuffer());

  CText text("abc");
  text.Append(nullptr);
  text.AppendRange(s, s);
  EXPECT_STREQ(text.GetText(), "abc");
  text.AppendRange(s + 1, s + 3);
  EXPECT_STREQ(text.GetText(), "abcyz");
}

TEST(CTextTest, AppendOfItsOwnContent) {
  CText text("abcd");
  text.Append(text.GetText());  // in place
  EXPECT_STREQ(text.GetText(), "abcdabcd");
  CText full(Repeat('q', 60).c_str());
  full.Append(full.GetText());  // into a new buffer; the range lies in the old one
  EXPECT_EQ(full.GetText(), Repeat('q', 120));
  EXPECT_EQ(full.Capacity(), 242u);
}

TEST(CTextTest, AssignRange) {
  const char* s = "0123456789";
  CText text("old");
  text.AssignRange(s + 2, s + 5);
  EXPECT_STREQ(text.GetText(), "234");
  text.AssignRange(s, s);
  EXPECT_STREQ(text.GetText(), "");
  text.AssignRange(nullptr, nullptr);
  EXPECT_STREQ(text.GetText(), "");

  CText self("hello world");
  self.AssignRange(self.GetText() + 6, self.GetText() + 9);
  EXPECT_STREQ(self.GetText(), "wor");

  // A range beyond the stack buffer goes through a heap buffer.
  std::string big = Repeat('b', 10000) + "end";
  CText large;
  large.AssignRange(big.data(), big.data() + big.size());
  EXPECT_EQ(large.GetText(), big);
  std::string exact = Repeat('e', CText::kStackBufferSize - 1);
  large.AssignRange(exact.data(), exact.data() + exact.size());
  EXPECT_EQ(large.GetText(), exact);
}

TEST(CTextTest, AppendFormatOfAnyLength) {
  CText text("n=");
  text.AppendFormat("%d, %s, %08x, %%", 42, "abc", 255u);
  EXPECT_STREQ(text.GetText(), "n=42, abc, 000000ff, %");

  // Just fitting the stack buffer, one byte over it, and far beyond it.
  for (size_t n : {CText::kStackBufferSize - 1, CText::kStackBufferSize, size_t{100000}}) {
    std::string arg = Repeat('a', n);
    CText formatted("<");
    formatted.AppendFormat("%s>", arg.c_str());
    EXPECT_EQ(formatted.GetText(), "<" + arg + ">") << n;
  }

  // A target already longer than the stack buffer.
  std::string head = Repeat('h', 20000);
  CText longText(head.c_str());
  std::string arg = Repeat('t', 30000);
  longText.AppendFormat("[%s]", arg.c_str());
  EXPECT_EQ(longText.GetText(), head + "[" + arg + "]");

  // A percent sign in an argument is text, not a directive.
  CText percent;
  percent.AppendFormat("File not found: %s", "a%sb%n.txt");
  EXPECT_STREQ(percent.GetText(), "File not found: a%sb%n.txt");
}

TEST(CTextTest, EqualsAndEqualsNoCase) {
  CText upper("ABC");
  CText lower("abc");
  EXPECT_FALSE(upper.Equals("abc"));
  EXPECT_TRUE(upper.Equals("ABC"));
  EXPECT_TRUE(upper.EqualsNoCase(lower));
  EXPECT_TRUE(lower.EqualsNoCase(upper));
  EXPECT_FALSE(upper.Equals("AB"));
  EXPECT_FALSE(upper.Equals("ABCD"));
  EXPECT_FALSE(upper.Equals(nullptr));
  EXPECT_FALSE(upper.EqualsNoCase(CText("ab")));
  EXPECT_FALSE(CText("ab").EqualsNoCase(upper));
  EXPECT_FALSE(upper.EqualsNoCase(CText()));
  EXPECT_TRUE(CText("dpc").EqualsNoCase(CText("DpC")));
  // Only A-Z fold: Latin-1 letters and the neighbours of the ASCII letters do not.
  EXPECT_FALSE(CText("\xC4").EqualsNoCase(CText("\xE4")));
  EXPECT_FALSE(CText("@[").EqualsNoCase(CText("`{")));
}

TEST(CTextTest, Find) {
  CText text("a,b,c");
  EXPECT_EQ(text.Find(','), 1);
  EXPECT_EQ(text.Find('a'), 0);
  EXPECT_EQ(text.Find('c'), 4);
  EXPECT_EQ(text.Find('x'), -1);
  EXPECT_EQ(text.Find('\0'), -1);
  EXPECT_EQ(CText("").Find(','), -1);
}

TEST(CTextTest, Mid) {
  CText text("abcdef");
  EXPECT_STREQ(text.Mid(0, 3).GetText(), "abc");
  EXPECT_STREQ(text.Mid(2, 2).GetText(), "cd");
  EXPECT_STREQ(text.Mid(4, 100).GetText(), "ef");
  EXPECT_STREQ(text.Mid(6, 3).GetText(), "");
  EXPECT_STREQ(text.Mid(1, 0).GetText(), "");
  EXPECT_STREQ(text.Mid(1, -5).GetText(), "");
  EXPECT_STREQ(CText().Mid(0, 4).GetText(), "");
}

TEST(CTextTest, SplitFirst) {
  CText text("a,b");
  CText piece;
  ASSERT_TRUE(text.SplitFirst(',', piece));
  EXPECT_STREQ(piece.GetText(), "a");
  EXPECT_STREQ(text.GetText(), "b");
  ASSERT_TRUE(text.SplitFirst(',', piece));
  EXPECT_STREQ(piece.GetText(), "b");
  EXPECT_STREQ(text.GetText(), "");
  EXPECT_FALSE(text.HasBuffer());
  EXPECT_FALSE(text.SplitFirst(',', piece));
  EXPECT_STREQ(piece.GetText(), "b");

  // In a loop it hands out every piece; empty pieces between separators count, a final
  // separator opens none.
  CText list("x,,y,");
  std::string pieces;
  while (list.SplitFirst(',', piece)) pieces += std::string("[") + piece.GetText() + "]";
  EXPECT_EQ(pieces, "[x][][y]");

  CText self("p,q");
  EXPECT_FALSE(self.SplitFirst(',', self));
  EXPECT_STREQ(self.GetText(), "p,q");
}

TEST(CTextTest, GetExtension) {
  const struct {
    const char* text;
    const char* extension;
  } cases[] = {
      {"a.tar.gz", "gz"},
      {"name", ""},
      {"name.", "name"},
      {".hidden", "hidden"},
      {"dir.d/file", ""},
      {"dir.d\\file", "d\\file"},
      {"dir/archive.dpc", "dpc"},
      {"a.b.DPC", "DPC"},
      {"archive", ""},
      {"archive.", "archive"},
      {"", ""},
      {"/abs/path/x.dpc", "dpc"},
      {"x..", ""},
      {"a..b", "b"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(CText(c.text).GetExtension().GetText(), c.extension) << c.text;
  }
  CText absent;
  EXPECT_STREQ(absent.GetExtension().GetText(), "");
  CText original("dir/archive.dpc");
  original.GetExtension();
  EXPECT_STREQ(original.GetText(), "dir/archive.dpc");
}

TEST(CTextTest, GetDirectory) {
  const struct {
    const char* text;
    const char* directory;
  } cases[] = {
      {"a/b\\c", "a/"},
      {"dir/*.txt", "dir/"},
      {"dir\\*.txt", "dir\\"},
      {"a\\b\\c.txt", "a\\b\\"},
      {"name", ""},
      {"", ""},
      {"/x", "/"},
      {"a/b/", "a/b/"},
      {"x/y/z", "x/y/"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(CText(c.text).GetDirectory().GetText(), c.directory) << c.text;
  }
}

TEST(CTextTest, FailedAllocationsLeaveDefinedStates) {
  CText assigned("before");
  CText appended("kept");
  CText ranged("kept too");
  CText formatted("unchanged");
  std::string big = Repeat('r', 20000);
  {
    AllocationFailure failing;
    // Assign into a buffer that is too small: the text ends without a buffer and reads as empty.
    assigned.Assign(Repeat('x', 100).c_str());
    // Appending beyond the capacity: the text is unchanged.
    appended.Append(Repeat('y', 100).c_str());
    // A range beyond the stack buffer needs a temporary heap copy first.
    ranged.AssignRange(big.data(), big.data() + big.size());
    // A formatted text beyond the stack buffer needs a heap buffer.
    formatted.AppendFormat("%s", big.c_str());
  }
  EXPECT_FALSE(assigned.HasBuffer());
  EXPECT_STREQ(assigned.GetText(), "");
  EXPECT_STREQ(appended.GetText(), "kept");
  EXPECT_STREQ(ranged.GetText(), "kept too");
  EXPECT_STREQ(formatted.GetText(), "unchanged");

  // Content that still fits needs no allocation.
  CText fits("abc");
  {
    AllocationFailure failing;
    fits.Append("def");
    fits.Assign("xy");
  }
  EXPECT_STREQ(fits.GetText(), "xy");
}

}  // namespace
