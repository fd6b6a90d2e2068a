#include "bridge/window_messages.h"

UINT QuitMessage() {
  static const UINT message = RegisterWindowMessageW(kQuitMessageName);
  return message;
}

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  return message;
}
