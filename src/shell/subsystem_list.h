// The runtime's subsystems, listed once in start-up order.
#pragma once

#include "core/subsystem.h"

namespace zelt {

SubsystemList runtime_subsystems();

}  // namespace zelt
