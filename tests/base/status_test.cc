#include "base/status.h"

#include <gtest/gtest.h>

#include <string>

#include "testutil.h"

TEST(Status, FailureKeepsItsMessageThroughCopiesAndReportsIt) {
  EXPECT_TRUE(Status().ok());
  const std::string name(5000, 'n');  // longer than any buffer
  Status s = Status::errorf(" file %s not found\n", name.c_str());
  Status copy = s;
  EXPECT_FALSE(copy.ok());
  EXPECT_EQ(copy.message(), " file " + name + " not found\n");
  MemOut out;
  EXPECT_FALSE(s.report(out.f()));
  EXPECT_TRUE(Status().report(out.f()));
  EXPECT_EQ(out.str(), " file " + name + " not found\n");
}
