#include "net/net.h"

#include "core/config.h"

namespace zelt::net {

// Never destroyed: a service thread that still runs when the process ends
// (no runtime reset came) must not meet a destroyed network.
Network& network() {
  static Network* const n = new Network;
  return *n;
}

void net_stop() { network().close(); }

const Subsystem kNetSubsystem{.name = "net",
                              .wanted = [] { return config().Net != 0; },
                              .start = net_startup,
                              .stop = net_cleanup,
                              .reset = net_stop};

}  // namespace zelt::net
