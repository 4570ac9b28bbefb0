// The process-wide network of the net_* built-ins and its place in start-up,
// the runtime reset and shutdown.
#pragma once

#include "core/subsystem.h"
#include "net/network.h"

namespace zelt::net {

// The one network the built-ins use.
Network& network();

// The runtime reset's stop: as net_close.
void net_stop();

// [System] Net: net_startup at start-up, net_cleanup at shutdown; every
// runtime reset stops the current mode.
extern const Subsystem kNetSubsystem;

}  // namespace zelt::net
