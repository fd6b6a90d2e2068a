#ifndef DEVKIT_APP_API_DRAW_ITEM_H_
#define DEVKIT_APP_API_DRAW_ITEM_H_

// What a UI application asks the development kit's engine to draw: a frame is a list of items,
// back to front. Plain C without a system header, so that an application can describe its frames
// in code that builds anywhere.

#include <stddef.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

// A rectangle of |color|, with corners rounded by |radius|.
#define KEELO_DRAW_FILL 1u
// One line of |text|, vertically centred in the rectangle and cut with an ellipsis when it does
// not fit, unless KEELO_TEXT_FIT is set.
#define KEELO_DRAW_TEXT 2u
// A PNG image (|image|, |image_size| bytes), scaled into the rectangle; nothing when it cannot be
// decoded.
#define KEELO_DRAW_IMAGE 3u

#define KEELO_TEXT_BOLD 1u
#define KEELO_TEXT_CENTER 2u
#define KEELO_TEXT_RIGHT 4u
// The font is made smaller until the whole text fits the rectangle's width.
#define KEELO_TEXT_FIT 8u

typedef struct {
  uint32_t kind;
  // Logical pixels (96 to the inch) from the view's top-left corner; the engine scales them to
  // the view's DPI.
  float x;
  float y;
  float width;
  float height;
  // 0xRRGGBB, of a fill or a text.
  uint32_t color;
  float radius;
  // The text's em height in logical pixels, and KEELO_TEXT_ flags.
  float text_size;
  uint32_t text_flags;
  // UTF-8.
  const char* text;
  const uint8_t* image;
  size_t image_size;
} KeeloDrawItem;

#if defined(__cplusplus)
}  // extern "C"
#endif

#endif  // DEVKIT_APP_API_DRAW_ITEM_H_
