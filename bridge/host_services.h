#ifndef BRIDGE_HOST_SERVICES_H_
#define BRIDGE_HOST_SERVICES_H_

#include <functional>

// What a facility may ask of the bridge that owns it, and nothing more: the facilities never
// call the bridge or one another directly, so that calls run one way and each facility can be
// held by a test on its own, with a fake of this interface.
class HostServices {
 public:
  // The modal loops a facility runs on the UI thread, during which a quit must wait.
  enum class ModalLoop { kTrayMenu, kDrag };

  // Leaves mini mode (telling the UI application) and puts the main window in front of the user.
  virtual void BringToFront() = 0;

  // Runs |loop| with any quit held back until it has returned; false when a quit came due before
  // or meanwhile, which is then on its way and after which the caller must return at once without
  // touching anything of the host. Inside another modal loop it runs nothing and returns true.
  virtual bool RunModalLoop(ModalLoop kind, const std::function<void()>& loop) = 0;

  // Ends the application as the tray's Quit does. The caller must return at once afterwards: the
  // facility may be gone.
  virtual void Quit() = 0;

  // Whether the main window is the mini timer now.
  virtual bool InMiniMode() const = 0;

 protected:
  ~HostServices() = default;
};

#endif  // BRIDGE_HOST_SERVICES_H_
