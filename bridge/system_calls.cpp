#include "bridge/system_calls.h"

#include "bridge/folder_listing.h"
#include "bridge/launch_app.h"
#include "bridge/launch_at_startup.h"
#include "bridge/proxy_settings.h"
#include "bridge/tray_icon.h"

SystemCalls SystemCalls::Real() {
  SystemCalls calls;
  calls.launch_app = &LaunchWithShell;
  calls.show_balloon = &ShowBalloonWithShell;
  calls.is_packaged = &ProcessHasPackageIdentity;
  calls.apply_proxy_options = &SetProxyOptionsWithWinInet;
  calls.query_proxy_options = &QueryProxyOptionsWithWinInet;
  calls.list_folder = &ListFolder;
  return calls;
}
