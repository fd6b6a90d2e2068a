#include "bridge/system_calls.h"

#include "bridge/launch_app.h"

SystemCalls SystemCalls::Real() {
  SystemCalls calls;
  calls.launch_app = &LaunchWithShell;
  return calls;
}
