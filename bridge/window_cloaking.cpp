#include "bridge/window_cloaking.h"

bool IsHiddenByCompositor(std::optional<DWORD> cloaked) { return cloaked.value_or(0) != 0; }
