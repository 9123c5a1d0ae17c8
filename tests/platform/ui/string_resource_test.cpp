#include "platform/ui/string_resource.h"

#include <gtest/gtest.h>

namespace {

// The texts themselves are pinned by the report's tests, which show every
// one of them.
TEST(FindStringResource, AnswersNullForAnIdItDoesNotHold) {
  for (int id : {-1, 0, 5, 26, 112}) EXPECT_EQ(FindStringResource(id), nullptr) << id;
}

}  // namespace
