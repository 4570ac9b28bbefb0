#include "gfx/effects/filter_random.h"

namespace zelt::gfx {
namespace {

// Each script thread is a thread of its own, so its sequence starts at 1.
thread_local uint32_t t_state = 1;

}  // namespace

uint32_t filter_random() {
  t_state = t_state * 214013u + 2531011u;
  return t_state >> 16 & 0x7FFF;
}

uint32_t filter_random_state() { return t_state; }
void set_filter_random_state(uint32_t state) { t_state = state; }

}  // namespace zelt::gfx
