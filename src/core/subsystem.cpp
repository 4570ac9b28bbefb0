#include "core/subsystem.h"

namespace zelt {
namespace {

using Operation = void (*Subsystem::*)();

bool wanted(const Subsystem& s) { return !s.wanted || s.wanted(); }

void forward(SubsystemList list, Operation op) {
  for (const Subsystem* s : list)
    if (s->*op) (s->*op)();
}

void backward(SubsystemList list, Operation op) {
  for (auto s = list.rbegin(); s != list.rend(); ++s)
    if ((*s)->*op) ((*s)->*op)();
}

}  // namespace

void subsystems_start_all(SubsystemList list) {
  for (const Subsystem* s : list)
    if (s->start && wanted(*s)) s->start();
}

void subsystems_stop_all(SubsystemList list) {
  for (auto s = list.rbegin(); s != list.rend(); ++s)
    if ((*s)->stop && wanted(**s)) (*s)->stop();
}

void subsystems_closing_all(SubsystemList list) { forward(list, &Subsystem::closing); }
void subsystems_pause_all(SubsystemList list) { forward(list, &Subsystem::pause); }
void subsystems_resume_all(SubsystemList list) { backward(list, &Subsystem::resume); }
void subsystems_reset_all(SubsystemList list) { backward(list, &Subsystem::reset); }
void subsystems_runtime_start_all(SubsystemList list) { forward(list, &Subsystem::runtime_start); }

}  // namespace zelt
