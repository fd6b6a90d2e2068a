#ifndef TESTS_SUPPORT_FROZEN_WINDOW_H_
#define TESTS_SUPPORT_FROZEN_WINDOW_H_

#include <windows.h>

#include "common/scoped_handles.h"
#include "tests/fixtures/freeze_protocol.h"

namespace keelo::testing {

// A fixture program's window whose thread has stopped pumping, from construction until Thaw or
// the object's end: what a program that is "Not Responding" looks like to another process.
class FrozenWindow {
 public:
  FrozenWindow(HWND window, DWORD process_id)
      : window_(window),
        thaw_(CreateEventW(nullptr, TRUE, FALSE, FixtureThawEventName(process_id).c_str())) {
    // The event of an earlier freeze may still be there, set.
    if (thaw_) ResetEvent(thaw_.get());
    PostMessageW(window, kFixtureFreezeMessage, 0, 0);
    // A sent message is served before the posted freeze, so the first probes may still be
    // answered; the thread has stopped once one is not. Those left unanswered are served after
    // the thaw.
    for (int probe = 0; probe < 100 && !frozen_; ++probe) {
      DWORD_PTR result = 0;
      frozen_ = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 50, &result) == 0;
    }
  }
  ~FrozenWindow() { Thaw(); }

  FrozenWindow(const FrozenWindow&) = delete;
  FrozenWindow& operator=(const FrozenWindow&) = delete;

  // False when the program never stopped answering.
  bool frozen() const { return frozen_; }

  // Lets the program go on and waits, five seconds at most, until it answers again.
  void Thaw() {
    if (!thaw_ || !frozen_) return;
    SetEvent(thaw_.get());
    frozen_ = false;
    for (int probe = 0; probe < 100; ++probe) {
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 50, &result) != 0) return;
    }
  }

 private:
  HWND window_;
  ScopedHandle thaw_;
  bool frozen_ = false;
};

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_FROZEN_WINDOW_H_
