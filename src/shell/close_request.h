// What other threads ask of the main loop: closing the program without a
// question (a script's exit or a run-time fault), and a wake-up when
// something the loop waits for has changed (a script thread ended). Without
// a window the loop waits here; the frame window forwards both into its
// event loop.
#pragma once

#include <chrono>

namespace zelt {

// Any thread. The request stays set until cleared.
void post_close_request();
bool close_requested();
void clear_close_request();

// Any thread: makes a waiting (or the next) wait_main_loop return.
void wake_main_loop();
// Main thread: returns when woken (or a close is requested) or at `until`.
void wait_main_loop(std::chrono::steady_clock::time_point until);

}  // namespace zelt
