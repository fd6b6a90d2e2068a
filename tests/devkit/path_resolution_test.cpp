#include "devkit/engine/path_resolution.h"

#include <gtest/gtest.h>

#include <string>

namespace devkit {
namespace {

TEST(PathResolutionTest, RelativePathsAreTakenFromTheExecutablesFolder) {
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L"data\\app.so"), L"C:\\Keelo\\data\\app.so");
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo\\", L"data\\app.so"), L"C:\\Keelo\\data\\app.so");
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L"..\\data"), L"C:\\Keelo\\..\\data");
}

TEST(PathResolutionTest, AbsolutePathsStayAndARootedPathTakesTheDrive) {
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L"D:\\data\\app.so"), L"D:\\data\\app.so");
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L"d:/data"), L"d:/data");
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L"\\\\server\\share\\data"), L"\\\\server\\share\\data");
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L"\\data"), L"C:\\data");
  EXPECT_EQ(ResolveAgainst(L"C:\\Keelo", L""), L"");
}

}  // namespace
}  // namespace devkit
