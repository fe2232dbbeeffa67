#include "archive/membername.h"

#include <gtest/gtest.h>

namespace {

TEST(UnsafeMemberNameTest, RecognisesNamesThatLeaveTheFolder) {
  for (const char* name :
       {"/etc/x", "\\x", "C:x", "c:\\x", "..", "../x", "a/../../x", "a\\..\\x", "a/..", "x/..",
        // streams and drives behind the first character
        "a.txt:stream", "1:x", "ab:c",
        // components Windows trims to ".." or less
        "...", ".. /x", "a\\. .\\x", ". .",
        // devices, with or without extension and in any case
        "NUL", "con.txt", "sub/Aux", "prn .log", "COM1", "lpt9.dat", "x\\CoM3\\y"}) {
    EXPECT_TRUE(IsUnsafeMemberName(name)) << name;
  }
  for (const char* name : {"a", "a.txt", "data\\b.bin", "..a", "a/..b/c", "./x", "", "a/./b",
                           "console", "nul1", "COM", "COM0", "LPT10", "auxiliary.txt", ".hidden"}) {
    EXPECT_FALSE(IsUnsafeMemberName(name)) << name;
  }
  // A component that ends in a dot or a blank: unreachable on Windows, a name like others here.
  for (const char* name : {"a..", "x.txt.", "y.txt ", "z. . .", "d./x", "d \\x"}) {
#ifdef _WIN32
    EXPECT_TRUE(IsUnsafeMemberName(name)) << name;
#else
    EXPECT_FALSE(IsUnsafeMemberName(name)) << name;
#endif
  }
}

}  // namespace
