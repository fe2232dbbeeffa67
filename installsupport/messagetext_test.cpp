#include "installsupport/messagetext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace installsupport {
namespace {

// A double-byte code page for the tests: lead bytes 0x81-0x9F and 0xE0-0xFC.
bool FakeLead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0;
}
bool NoLead(unsigned char) {
  return false;
}

using Expansion = void (*)(char*, size_t, const char*, const char*, const char*,
                           const LeadByteTest&);

std::string Expand(const char* templateText, const char* first, const char* second,
                   const LeadByteTest& isLead = NoLead, size_t size = kTextSize,
                   Expansion expand = ExpandMessage) {
  std::vector<char> buffer(size + 16, '#');
  expand(buffer.data(), size, templateText, first, second, isLead);
  for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ('#', buffer[i]) << "written at " << i;
  return std::string(buffer.data());
}

TEST(ExpandMessageTest, PlaceholdersAreReplacedOnce) {
  EXPECT_EQ("DllRegisterServer in a.dll failed.",
            Expand("%1 in %2 failed.", "DllRegisterServer", "a.dll"));
  EXPECT_EQ("x.dll then x.dll and Y", Expand("%1 then %1 and %2", "x.dll", "Y"));
  // Inserted texts are not scanned again.
  EXPECT_EQ("[%2%1] [%1]", Expand("[%1] [%2]", "%2%1", "%1"));
  EXPECT_EQ("[] []", Expand("[%1] [%2]", nullptr, nullptr));
  EXPECT_EQ("", Expand("", "a", "b"));
}

TEST(ExpandMessageTest, OtherPercentSequencesAreCopied) {
  EXPECT_EQ("%3 %% %0 %a 100% %", Expand("%3 %% %0 %a 100% %", "A", "B"));
  EXPECT_EQ("%A", Expand("%%1", "A", "B"));
  EXPECT_EQ("50%", Expand("50%", "A", "B"));
}

TEST(ExpandMessageTest, LeadBytePairsAreCopiedWholeAndNeverPlaceholders) {
  // 0x81 is a lead byte: "\x81%" is one character, the "1" behind it a plain byte.
  EXPECT_EQ("\x81%1 A", Expand("\x81%1 %1", "A", "B", FakeLead));
  EXPECT_EQ(
      "\x81\x40"
      "A",
      Expand("\x81\x40%1", "A", "B", FakeLead));
  // Single-byte code page: the same bytes hold a placeholder.
  EXPECT_EQ(
      "\x81"
      "AA A",
      Expand("\x81%1%1 %1", "A", "B", NoLead));
  // A lead byte at the very end has nothing behind it and is copied alone.
  EXPECT_EQ("ab\x81", Expand("ab\x81", "A", "B", FakeLead));
}

TEST(ExpandMessageTest, LongTextsAreCutToFitWithTheirTerminator) {
  std::string longName(4000, 'n');
  std::string cut = Expand("LoadLibrary(%1) failed.", longName.c_str(), "x");
  EXPECT_EQ(kTextSize - 1, cut.size());
  EXPECT_EQ("LoadLibrary(" + std::string(kTextSize - 1 - 12, 'n'), cut);

  // Nothing of the template follows a cut insertion.
  EXPECT_EQ("[abcdefgh", Expand("[%1]", "abcdefghijkl", nullptr, NoLead, 10));
  EXPECT_EQ("012345678", Expand("0123456789abc", nullptr, nullptr, NoLead, 10));
  EXPECT_EQ("", Expand("abc", nullptr, nullptr, NoLead, 1));

  // To fit, first loses its middle, wherever it stands, and the rest stays whole; a text that
  // fits stays as it is, and one that leaves first too little room is cut.
  const Expansion fit = ExpandMessageToFit;
  EXPECT_EQ("[abcdefgh]", Expand("[%1]", "abcdefgh", nullptr, NoLead, 11, fit));
  EXPECT_EQ("[ab...kl]", Expand("[%1]", "abcdefghijkl", nullptr, NoLead, 10, fit));
  EXPECT_EQ("ab...j=XY (ab...j)", Expand("%1=%2 (%1)", "abcdefghij", "XY", NoLead, 20, fit));
  EXPECT_EQ("0123456789abc", Expand("0123456789%1", "abcdefgh", nullptr, NoLead, 14, fit));
}

TEST(ExpandMessageTest, CutNeverSplitsADoubleByteCharacter) {
  // Room for three bytes: the pair would need the fourth.
  EXPECT_EQ("ab", Expand("ab\x81\x40", nullptr, nullptr, FakeLead, 4));
  EXPECT_EQ("[a", Expand("[%1]", "a\xE0\x41", nullptr, FakeLead, 4));
  EXPECT_EQ("[a\xE0\x41", Expand("[%1]", "a\xE0\x41", nullptr, FakeLead, 5));
  // Shortened to fit, the start and the end keep their pairs whole or leave them out.
  const char* pairs =
      "a\x81\x40"
      "bcde\x82\x41"
      "f";
  EXPECT_EQ("[a...f]", Expand("[%1]", pairs, nullptr, FakeLead, 10, ExpandMessageToFit));
}

TEST(CopyTextTest, CopiesOrCutsAndTellsWhich) {
  char buffer[8];
  EXPECT_TRUE(CopyText(buffer, sizeof buffer, "1234567", NoLead));
  EXPECT_STREQ("1234567", buffer);
  EXPECT_FALSE(CopyText(buffer, sizeof buffer, "12345678", NoLead));
  EXPECT_STREQ("1234567", buffer);
  EXPECT_FALSE(CopyText(buffer, sizeof buffer, "123456\x81\x40", FakeLead));
  EXPECT_STREQ("123456", buffer);
  EXPECT_TRUE(CopyText(buffer, sizeof buffer, nullptr, NoLead));
  EXPECT_STREQ("", buffer);
  EXPECT_FALSE(CopyText(buffer, 0, "x", NoLead));
}

}  // namespace
}  // namespace installsupport
