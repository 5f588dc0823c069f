#include "NetworkWatch.h"

#include "zelvora/platform/ui/Application.h"

namespace zelvora::platform::gtk {

NetworkWatch::NetworkWatch()
    : monitor_(g_network_monitor_get_default()),
      available_(g_network_monitor_get_network_available(monitor_)) {
  handler_ =
      g_signal_connect(monitor_, "network-changed", G_CALLBACK(&NetworkWatch::onChanged), this);
}

NetworkWatch::~NetworkWatch() {
  g_signal_handler_disconnect(monitor_, handler_);
}

void NetworkWatch::onChanged(GNetworkMonitor*, gboolean available, gpointer data) {
  auto& watch = *static_cast<NetworkWatch*>(data);
  // The monitor also reports changes of routes while the network stays up.
  const bool cameBack = available && !watch.available_;
  watch.available_ = available;
  if (cameBack) Application::shared().postNetworkAvailable();
}

}  // namespace zelvora::platform::gtk
