#include "runner/command_line.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace keelo::testing {
namespace {

// An installer or an update that closed the host through the Restart Manager has it started
// again, hidden in the tray; a crash or a hang does not.
TEST(RestartRegistrationTest, AsksForAHiddenRestartAfterAnUpdateOnly) {
  ASSERT_TRUE(RegisterRestartAfterUpdate());
  wchar_t command_line[RESTART_MAX_CMD_LINE] = {};
  DWORD size = RESTART_MAX_CMD_LINE;
  DWORD flags = 0;
  const HRESULT read =
      GetApplicationRestartSettings(GetCurrentProcess(), command_line, &size, &flags);
  if (read == E_NOTIMPL) {
    GTEST_SKIP() << "Wine's GetApplicationRestartSettings returns E_NOTIMPL (0x80004001): the "
                    "registration it accepted cannot be read back";
  }
  ASSERT_EQ(read, S_OK);
  EXPECT_STREQ(command_line, L"--minimized");
  EXPECT_EQ(flags, static_cast<DWORD>(RESTART_NO_CRASH | RESTART_NO_HANG));
  // The restarted host starts hidden.
  EXPECT_TRUE(RequestsMinimizedStart(command_line));
}

}  // namespace
}  // namespace keelo::testing
