#ifndef DEVKIT_ENGINE_SCENE_PAINTER_H_
#define DEVKIT_ENGINE_SCENE_PAINTER_H_

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>
#include <tuple>

#include "common/scoped_handles.h"
#include "devkit/app_api/draw_item.h"

namespace devkit {

// A bitmap of |width| x |height| 32-bit pixels, rows from the top, whose bits |pixels| receives;
// null when it cannot be made.
HBITMAP CreatePixelBitmap(int width, int height, void** pixels);

// Draws a frame that a UI application described (draw_item.h) with GDI, decoding its PNG images
// with WIC, which needs COM on the calling thread (the host's UI thread has it; without it images
// are left out). An image is decoded once for each size it is drawn at, and kept while the frames
// that follow draw it too. UI thread only.
class ScenePainter {
 public:
  ScenePainter() = default;

  ScenePainter(const ScenePainter&) = delete;
  ScenePainter& operator=(const ScenePainter&) = delete;

  // A frame is painted by any number of Draw calls between BeginFrame and EndFrame; EndFrame lets
  // go of the images it did not draw.
  void BeginFrame();
  // Paints |items| on |canvas|, a memory context with a bitmap selected, at |scale| device pixels
  // to the logical pixel, in the typeface |face_name|.
  void Draw(HDC canvas, const KeeloDrawItem* items, size_t count, double scale,
            const std::wstring& face_name);
  void EndFrame();

  size_t decoded_images() const { return images_.size(); }

 private:
  // The image's bytes by their hash and length, and the size it is drawn at.
  using ImageKey = std::tuple<size_t, size_t, int, int>;
  struct DecodedImage {
    ScopedGdiObject<HBITMAP> bitmap;
    bool drawn = false;
  };

  void DrawImage(HDC canvas, const KeeloDrawItem& item, const RECT& area);

  std::map<ImageKey, DecodedImage> images_;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_SCENE_PAINTER_H_
