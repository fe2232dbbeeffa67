#include <gtest/gtest.h>

#include "platform/ole.h"

namespace {

TEST(OleTest, InitialisationSucceedsAndBalances) {
  EXPECT_EQ(S_OK, OleInitialize(nullptr));
  EXPECT_EQ(S_OK, OleInitialize(nullptr));  // nested on the same thread
  OleUninitialize();
  OleUninitialize();
}

TEST(OleTest, ReservedArgumentMustBeNull) {
  int reserved = 0;
  EXPECT_EQ(E_INVALIDARG, OleInitialize(&reserved));
}

TEST(OleTest, SetErrorModeReturnsTheEarlierMode) {
  UINT original = SetErrorMode(SEM_FAILCRITICALERRORS);
  EXPECT_EQ(SEM_FAILCRITICALERRORS, SetErrorMode(SEM_FAILCRITICALERRORS | 0x8000U));
  EXPECT_EQ(SEM_FAILCRITICALERRORS | 0x8000U, SetErrorMode(0));
  EXPECT_EQ(0U, SetErrorMode(original));
}

}  // namespace
