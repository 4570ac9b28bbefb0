#include "core/subsystem.h"

#include <ranges>

namespace zelt {
namespace {

bool wanted(const Subsystem& s) { return !s.wanted || s.wanted(); }

template <class Op>
void forward(SubsystemList list, Op op) {
  for (const Subsystem* s : list) op(*s);
}

template <class Op>
void backward(SubsystemList list, Op op) {
  for (const Subsystem* s : std::views::reverse(list)) op(*s);
}

}  // namespace

void subsystems_start_all(SubsystemList list) {
  forward(list, [](const Subsystem& s) {
    if (s.start && wanted(s)) s.start();
  });
}

void subsystems_stop_all(SubsystemList list) {
  backward(list, [](const Subsystem& s) {
    if (s.stop && wanted(s)) s.stop();
  });
}

void subsystems_closing_all(SubsystemList list) {
  forward(list, [](const Subsystem& s) {
    if (s.closing) s.closing();
  });
}

void subsystems_pause_all(SubsystemList list) {
  forward(list, [](const Subsystem& s) {
    if (s.pause) s.pause();
  });
}

void subsystems_resume_all(SubsystemList list) {
  backward(list, [](const Subsystem& s) {
    if (s.resume) s.resume();
  });
}

void subsystems_reset_all(SubsystemList list) {
  backward(list, [](const Subsystem& s) {
    if (s.reset) s.reset();
  });
}

void subsystems_runtime_start_all(SubsystemList list) {
  forward(list, [](const Subsystem& s) {
    if (s.runtime_start) s.runtime_start();
  });
}

}  // namespace zelt
