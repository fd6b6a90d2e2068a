#ifndef TESTS_SUPPORT_HOST_NAMES_H_
#define TESTS_SUPPORT_HOST_NAMES_H_

// The names by which the host is found and spoken to from outside: its channels, its window, its
// Run value, its snapshot's value and its quit message. The product's own definitions, so that a
// test looks where the host writes.

#include "bridge/app_identifier.h"
#include "bridge/window_messages.h"
#include "common/shared_names.h"

#endif  // TESTS_SUPPORT_HOST_NAMES_H_
