#ifndef TESTS_DEVKIT_BITMAP_SUPPORT_H_
#define TESTS_DEVKIT_BITMAP_SUPPORT_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "devkit/app_api/draw_item.h"

namespace devkit::testing {

// A PNG of |size| x |size| pixels all of |rgb| (0xRRGGBB), opaque, made with WIC on a thread
// with COM; empty when WIC failed.
std::vector<uint8_t> SolidPng(int size, uint32_t rgb);

// Pixels of a frame, 0xRRGGBB each, row by row from the top.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;

  uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
  // How many pixels of the item's rectangle, at |scale| device pixels to the logical one, are not
  // |background|, and the height of the rows they are in.
  struct Ink {
    int pixels = 0;
    int rows = 0;
  };
  Ink InkIn(const KeeloDrawItem& item, double scale, uint32_t background) const;
};

// What |paint| draws on a memory context of |width| x |height| with a 32-bit bitmap selected.
Pixels Capture(int width, int height, const std::function<void(HDC)>& paint);

}  // namespace devkit::testing

#endif  // TESTS_DEVKIT_BITMAP_SUPPORT_H_
