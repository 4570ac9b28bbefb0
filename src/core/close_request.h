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

// Any thread: makes a waiting (or the next) wait_main_loop return, and
// calls the waker of the frame's event loop when one is set.
void wake_main_loop();
// Main thread: the frame's event loop sets its waker (nullptr removes it).
void set_main_loop_waker(void (*waker)());
// Main thread: returns when woken (or a close is requested) or at `until`.
void wait_main_loop(std::chrono::steady_clock::time_point until);

}  // namespace zelt
