// Built-in adapters of the sound slots: each forwards its two arguments in
// its numbered message to the main thread and returns the answer. Names,
// the text buffer and effect records travel as script addresses; the main
// thread reads and writes them through script memory (the sender holds the
// built-in lock meanwhile) and fails on an address that is not there.
#include "builtins/handlers.h"
#include "core/script_messages.h"

namespace zelt {
namespace {

uint32_t send(const BuiltinArgs& a, ScriptMsg msg) {
  return int_result(script_message_send(msg, a.i32(0), static_cast<intptr_t>(a.u32(1))));
}

// Slot -1 addresses the primary line through a message of its own, with the
// value alone.
uint32_t send_slot_or_master(const BuiltinArgs& a, ScriptMsg slot_msg, ScriptMsg master_msg) {
  if (a.i32(0) == -1) return int_result(script_message_send(master_msg, 0, a.i32(1)));
  return send(a, slot_msg);
}

}  // namespace

uint32_t bi_snd_load(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_load); }
uint32_t bi_snd_loads(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_loads); }
uint32_t bi_snd_free(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_free); }
uint32_t bi_snd_play(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_play); }
uint32_t bi_snd_stop(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_stop); }
uint32_t bi_snd_pause(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_pause); }
uint32_t bi_snd_replay(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_replay); }
uint32_t bi_snd_setvol(const BuiltinArgs& a) {
  return send_slot_or_master(a, ScriptMsg::snd_setvol, ScriptMsg::snd_setvol_master);
}
uint32_t bi_snd_getvol(const BuiltinArgs& a) {
  return send_slot_or_master(a, ScriptMsg::snd_getvol, ScriptMsg::snd_getvol_master);
}
uint32_t bi_snd_setpan(const BuiltinArgs& a) {
  return send_slot_or_master(a, ScriptMsg::snd_setpan, ScriptMsg::snd_setpan_master);
}
uint32_t bi_snd_getpan(const BuiltinArgs& a) {
  return send_slot_or_master(a, ScriptMsg::snd_getpan, ScriptMsg::snd_getpan_master);
}
uint32_t bi_snd_setfreq(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setfreq); }
uint32_t bi_snd_getfreq(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_getfreq); }
uint32_t bi_snd_isplay(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_isplay); }
uint32_t bi_snd_setloop(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setloop); }
uint32_t bi_snd_setpos(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setpos); }
uint32_t bi_snd_getpos(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_getpos); }
uint32_t bi_snd_getlen(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_getlen); }
uint32_t bi_snd_gettext(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_gettext); }
uint32_t bi_snd_setmargin(const BuiltinArgs& a) {
  return int_result(script_message_send(ScriptMsg::snd_setmargin, a.i32(0), 0));
}
uint32_t bi_snd_setchorus(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setchorus); }
uint32_t bi_snd_setcompressor(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setcompressor); }
uint32_t bi_snd_setdistortion(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setdistortion); }
uint32_t bi_snd_setecho(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setecho); }
uint32_t bi_snd_setflanger(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setflanger); }
uint32_t bi_snd_setgargle(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setgargle); }
uint32_t bi_snd_setparameq(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setparameq); }
uint32_t bi_snd_setreverb(const BuiltinArgs& a) { return send(a, ScriptMsg::snd_setreverb); }

}  // namespace zelt
