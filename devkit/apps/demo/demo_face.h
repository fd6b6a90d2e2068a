#ifndef DEVKIT_APPS_DEMO_DEMO_FACE_H_
#define DEVKIT_APPS_DEMO_DEMO_FACE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "devkit/app_api/draw_item.h"

namespace devkit {

// What the demo's view shows, laid out for the engine to draw: a pure function of the session's
// state and the view's size, so that it is tested natively.

// Up to this many logical pixels tall, the view is a strip with the time left and the state: the
// host's mini timer is 88, and the whole session needs more than this.
inline constexpr float kCompactFaceHeight = 300;

struct FaceBlock {
  // "Notepad".
  std::string name;
  // The wall-clock time it was blocked at, "14:03:27".
  std::string at;
};

struct FaceApp {
  std::string name;
  // The icon the host sent, a PNG owned by the caller; null while there is none.
  const std::vector<uint8_t>* png = nullptr;
};

struct FaceState {
  int64_t seconds_left = 0;
  int64_t session_seconds = 0;
  std::vector<std::string> blocking;
  std::vector<FaceBlock> blocked;
  // "In front: notepad.exe", and the last tray command; either may be empty.
  std::string front;
  std::string note;
  // How many applications the host listed, the first of them, and what to say while there are
  // none to show (waiting for the list, or why it failed).
  size_t app_count = 0;
  std::vector<FaceApp> apps;
  std::string apps_note;
};

// A frame's items, back to front. They point into the face's own texts and into the images of
// the state it was built from: valid while both live.
class Face {
 public:
  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  Face(Face&&) = default;
  Face& operator=(Face&&) = default;

  const std::vector<KeeloDrawItem>& items() const { return items_; }

  void Fill(float x, float y, float width, float height, uint32_t color, float radius = 0);
  void Text(float x, float y, float width, float height, std::string text, float size,
            uint32_t color, uint32_t flags = 0);
  void Image(float x, float y, float width, float height, const std::vector<uint8_t>& png);

 private:
  // A deque, whose elements stay where they are as it grows: the items point at them.
  std::deque<std::string> texts_;
  std::vector<KeeloDrawItem> items_;
};

Face BuildFace(const FaceState& state, float width, float height);

}  // namespace devkit

#endif  // DEVKIT_APPS_DEMO_DEMO_FACE_H_
