#ifndef TESTS_BRIDGE_RECT_COMPARE_H_
#define TESTS_BRIDGE_RECT_COMPARE_H_

#include <windows.h>

#include <ostream>

// Rectangles compared edge by edge, and shown so in failure messages. In the global namespace,
// where RECT is, so that GoogleTest finds them.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline void PrintTo(const RECT& rect, std::ostream* out) {
  *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

#endif  // TESTS_BRIDGE_RECT_COMPARE_H_
