#include "runner/uncaught_exception.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

TEST(UncaughtExceptionTest, TheLineNamesWhatEndedTheProcess) {
  EXPECT_EQ(UncaughtExceptionLine(), "Ending: std::terminate was called without an exception.");
  try {
    throw std::bad_alloc();
  } catch (...) {
    EXPECT_EQ(UncaughtExceptionLine(),
              std::string("Ending on an uncaught exception: ") + std::bad_alloc().what());
  }
  try {
    throw 7;
  } catch (...) {
    EXPECT_EQ(UncaughtExceptionLine(), "Ending on an uncaught exception of an unknown type.");
  }
}

}  // namespace
