// The termination signals a user or the system sends (SIGTERM, SIGINT,
// SIGHUP): the first one is only noted, so that the main loop closes the
// program in order (scripts stopped, the system file and the configuration
// saved); a second one of the same kind ends the process at once.
#pragma once

namespace zelt::platform {

// Installs the handlers, and ignores SIGPIPE (start-up, main thread).
void termination_signals_install();
// The first termination signal received, or 0. Any thread.
int termination_signal();

}  // namespace zelt::platform
