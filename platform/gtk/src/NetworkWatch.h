#pragma once

#include <gio/gio.h>

namespace zelvora::platform::gtk {

/// Follows the system's network monitor and tells the application when the network is usable
/// again after it was not, so that what failed on it is tried at once rather than at its next
/// retry.
class NetworkWatch {
 public:
  NetworkWatch();
  ~NetworkWatch();
  NetworkWatch(const NetworkWatch&) = delete;
  NetworkWatch& operator=(const NetworkWatch&) = delete;

 private:
  static void onChanged(GNetworkMonitor* monitor, gboolean available, gpointer data);

  GNetworkMonitor* monitor_;
  gulong handler_ = 0;
  bool available_;
};

}  // namespace zelvora::platform::gtk
