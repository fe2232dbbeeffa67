// ScratchTest: a test fixture with a fresh scratch folder, made before each test and removed
// after it; dir_ is its path.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testing/scratchfolder.h"

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.Made());
    dir_ = scratch_.dir();
  }
  void TearDown() override { EXPECT_TRUE(scratch_.Remove()); }

  ScratchFolder scratch_;
  std::string dir_;
};
