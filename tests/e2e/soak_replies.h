#ifndef TESTS_E2E_SOAK_REPLIES_H_
#define TESTS_E2E_SOAK_REPLIES_H_

#include <string>

#include "tests/e2e/soak_mix.h"

namespace keelo::testing {

// Empty when |reply| is what |expected| asks for; otherwise what is wrong with it.
std::string ReplyMismatch(const ExpectedReply& expected, const SoakBytes& reply);

}  // namespace keelo::testing

#endif  // TESTS_E2E_SOAK_REPLIES_H_
