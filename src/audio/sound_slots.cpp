#include "audio/sound_slots.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "audio/audio_output.h"
#include "audio/effects/effect.h"
#include "audio/sound_source.h"
#include "audio/voice.h"
#include "audio/volume_law.h"
#include "core/config.h"
#include "core/messages.h"
#include "core/script_memory.h"
#include "core/script_messages.h"

namespace zelt::audio {
namespace {

// Buffer description flags: what a buffer was made with tells whether it
// takes effects.
constexpr uint32_t kFlagsStatic = 0x100E8;  // software, frequency, pan, volume, position
constexpr uint32_t kFlagsStream = 0x102E8;  // the same with effects
constexpr uint32_t kFlagGlobalFocus = 0x8000;
constexpr uint32_t kFlagEffects = 0x200;
// The sizes and rates a buffer can be made with.
constexpr uint32_t kMinBufferBytes = 4;
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
constexpr uint32_t kMinBufferRate = 100;
constexpr uint32_t kMaxBufferRate = 200000;
constexpr uint32_t kMaxName = 259;

struct SoundSlot {
  std::string name;
  int32_t loop_play = 0;
  int32_t pause_count = 0;
  std::unique_ptr<Voice> voice;
  uint32_t buffer_flags = 0;
  std::thread feeder;
  uint32_t ring_size = 0;
  bool streamed = false;
  std::atomic<bool> stop_request{false};
  std::atomic<bool> ended{false};
  int32_t loop = 0;
  std::atomic<uint32_t> written{0};
  SoundSource source;
  uint32_t fx_mask = 0;
  std::array<EffectRecord, kEffectKinds> fx{};  // parameter records by bit number

  ~SoundSlot() {
    stop_request = true;
    if (feeder.joinable()) feeder.join();
  }
};

std::array<SoundSlot, kSoundSlots> g_slots;
bool g_started = false;   // the DirectSound object exists
bool g_primary = false;   // the primary line can be set
uint32_t g_margin = 0;    // ms of silence after sounds loaded whole

bool valid(int32_t slot) { return slot >= 0 && slot < kSoundSlots; }

// Runs op on slots 0..63 in order, stopping at the first that answers 0.
template <class Op>
int32_t all_slots(Op op) {
  for (int32_t s = 0; s < kSoundSlots; ++s)
    if (op(s) == 0) return 0;
  return 1;
}

// A voice made for slot, attached to the mixer; null after the reported failure.
Voice* make_voice(SoundSlot& s, int32_t slot, const PcmFormat& format, uint64_t bytes) {
  if (bytes < kMinBufferBytes || bytes > kMaxBufferBytes || format.rate < kMinBufferRate ||
      format.rate > kMaxBufferRate || !output_mixer()) {
    report(kLevelDevice, Msg::DSoundCreateBuffer);
    return nullptr;
  }
  s.voice = std::make_unique<Voice>(format, static_cast<uint32_t>(bytes));
  output_mixer()->attach(static_cast<uint32_t>(slot), s.voice.get());
  return s.voice.get();
}

void release_voice(SoundSlot& s, int32_t slot) {
  if (!s.voice) return;
  s.voice->stop();
  if (Mixer* m = output_mixer()) m->detach(static_cast<uint32_t>(slot));
  s.voice.reset();
}

void end_feeder(SoundSlot& s) {
  if (!s.feeder.joinable()) return;
  s.stop_request = true;
  s.feeder.join();
  s.stop_request = false;
}

// Fills half h of a stream's ring from its source.
void fill_half(SoundSlot& s, uint32_t h) {
  if (s.ended) s.voice->stop();
  const uint32_t half = s.ring_size / 2;
  uint8_t* region = s.voice->data() + h * half;
  uint32_t got = 0;
  bool rewound = false;
  while (got < half) {
    const uint32_t n = s.source.read(region + got, half - got);
    if (n == half - got) {
      s.written += n;
      break;
    }
    if (s.loop) {
      // Again from the loop start; a sound with nothing after its loop
      // start would spin here, so one rewind without sound ends the fill.
      s.written += n;
      got += n;
      if (n == 0 && rewound) break;
      s.source.rewind();
      rewound = n == 0;
      continue;
    }
    if (n == 0) s.ended = true;
    break;
  }
}

void feeder_run(SoundSlot* s) {
  uint32_t next_half = 1;
  while (!s->stop_request) {
    const uint32_t c = s->voice->position();
    if (c < s->ring_size / 2 && next_half == 1) {
      fill_half(*s, 1);
      next_half = 0;
    } else if (c >= s->ring_size / 2 && next_half == 0) {
      fill_half(*s, 0);
      next_half = 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

uint32_t base_flags(uint32_t flags) { return flags | (config().GlobalSound ? kFlagGlobalFocus : 0); }

// Effects are installed at play (the voice stopped) when the buffer takes
// them: a new chain of the bits set now, in bit order, with fresh state. A
// mask cleared since the last play removes the chain, so clearing an
// effect always silences it.
void apply_effects(SoundSlot& s) {
  if (!(s.buffer_flags & kFlagEffects)) return;
  s.voice->set_effects(make_effect_chain(s.fx_mask, s.fx, output_mixer()->rate()));
}

// --- messages: slot in wparam, the second argument in lparam ---------------

int32_t slot_of(intptr_t w) { return static_cast<int32_t>(w); }
int32_t value_of(intptr_t l) { return static_cast<int32_t>(l); }

// A file name at a script address; false when none is there.
bool script_name(intptr_t address, std::string& out) {
  std::string_view name;
  if (!script_memory().string(static_cast<ScriptAddr>(address), name, UINT32_MAX)) return false;
  out.assign(name.substr(0, kMaxName));
  return true;
}

int32_t msg_load(intptr_t w, intptr_t l) {
  std::string name;
  if (!script_name(l, name)) return snd_load(slot_of(w), "");
  return snd_load(slot_of(w), name);
}
int32_t msg_loads(intptr_t w, intptr_t l) {
  std::string name;
  if (!script_name(l, name)) return snd_loads(slot_of(w), "");
  return snd_loads(slot_of(w), name);
}
// A sound loaded whole leaves the buffer alone; a stream writes its text,
// or "" when it has none.
int32_t msg_gettext(intptr_t w, intptr_t l) {
  if (!valid(slot_of(w)) || !g_slots[slot_of(w)].streamed) return 0;
  const std::span<uint8_t> out = script_memory().span(static_cast<ScriptAddr>(l), 256);
  if (!out.data()) return 0;
  char text[256];
  const int32_t r = snd_gettext(slot_of(w), text);
  std::memcpy(out.data(), text, std::strlen(text) + 1);
  return r;
}
template <uint32_t Index>
int32_t msg_effect(intptr_t w, intptr_t l) {
  const uint32_t bit = 1u << Index;
  if (l == 0) return snd_seteffect(slot_of(w), bit, nullptr);
  const std::span<uint8_t> in = script_memory().span(static_cast<ScriptAddr>(l), kEffectKindInfo[Index].words * 4);
  if (!in.data()) return 0;
  uint32_t record[kMaxEffectWords] = {};
  std::memcpy(record, in.data(), in.size());
  return snd_seteffect(slot_of(w), bit, record);
}

struct Route {
  ScriptMsg msg;
  ScriptMessageHandler handler;
};
const Route kRoutes[] = {
    {ScriptMsg::snd_load, msg_load},
    {ScriptMsg::snd_loads, msg_loads},
    {ScriptMsg::snd_free, [](intptr_t w, intptr_t) { return snd_free(slot_of(w)); }},
    {ScriptMsg::snd_play, [](intptr_t w, intptr_t l) { return snd_play(slot_of(w), value_of(l)); }},
    {ScriptMsg::snd_stop, [](intptr_t w, intptr_t) { return snd_stop(slot_of(w)); }},
    {ScriptMsg::snd_pause, [](intptr_t w, intptr_t) { return snd_pause(slot_of(w)); }},
    {ScriptMsg::snd_replay, [](intptr_t w, intptr_t) { return snd_replay(slot_of(w)); }},
    {ScriptMsg::snd_setvol_master, [](intptr_t, intptr_t l) { return snd_setvol(-1, value_of(l)); }},
    {ScriptMsg::snd_getvol_master, [](intptr_t, intptr_t) { return snd_getvol(-1); }},
    {ScriptMsg::snd_setpan_master, [](intptr_t, intptr_t l) { return snd_setpan(-1, value_of(l)); }},
    {ScriptMsg::snd_getpan_master, [](intptr_t, intptr_t) { return snd_getpan(-1); }},
    {ScriptMsg::snd_setvol, [](intptr_t w, intptr_t l) { return valid(slot_of(w)) ? snd_setvol(slot_of(w), value_of(l)) : 0; }},
    {ScriptMsg::snd_getvol, [](intptr_t w, intptr_t) { return valid(slot_of(w)) ? snd_getvol(slot_of(w)) : 0; }},
    {ScriptMsg::snd_setpan, [](intptr_t w, intptr_t l) { return valid(slot_of(w)) ? snd_setpan(slot_of(w), value_of(l)) : 0; }},
    {ScriptMsg::snd_getpan, [](intptr_t w, intptr_t) { return valid(slot_of(w)) ? snd_getpan(slot_of(w)) : 0; }},
    {ScriptMsg::snd_setfreq, [](intptr_t w, intptr_t l) { return snd_setfreq(slot_of(w), value_of(l)); }},
    {ScriptMsg::snd_getfreq, [](intptr_t w, intptr_t) { return snd_getfreq(slot_of(w)); }},
    {ScriptMsg::snd_isplay, [](intptr_t w, intptr_t) { return snd_isplay(slot_of(w)); }},
    {ScriptMsg::snd_setloop, [](intptr_t w, intptr_t l) { return snd_setloop(slot_of(w), value_of(l)); }},
    {ScriptMsg::snd_setpos, [](intptr_t w, intptr_t l) { return snd_setpos(slot_of(w), value_of(l)); }},
    {ScriptMsg::snd_getpos, [](intptr_t w, intptr_t) { return snd_getpos(slot_of(w)); }},
    {ScriptMsg::snd_getlen, [](intptr_t w, intptr_t) { return snd_getlen(slot_of(w)); }},
    {ScriptMsg::snd_gettext, msg_gettext},
    {ScriptMsg::snd_setmargin, [](intptr_t w, intptr_t) { return snd_setmargin(value_of(w)); }},
    {ScriptMsg::snd_setchorus, msg_effect<0>},
    {ScriptMsg::snd_setcompressor, msg_effect<1>},
    {ScriptMsg::snd_setdistortion, msg_effect<2>},
    {ScriptMsg::snd_setecho, msg_effect<3>},
    {ScriptMsg::snd_setflanger, msg_effect<4>},
    {ScriptMsg::snd_setgargle, msg_effect<5>},
    {ScriptMsg::snd_setparameq, msg_effect<6>},
    {ScriptMsg::snd_setreverb, msg_effect<7>},
};

// The messages are answered whether or not the subsystem started: without
// it every load fails and the rest finds empty slots.
void register_routes(bool on) {
  for (const Route& r : kRoutes) script_message_register(r.msg, on ? r.handler : nullptr);
}

void sound_pause() {
  if (!config().GlobalSound) snd_pause(-1);
}
void sound_resume() {
  if (!config().GlobalSound) snd_replay(-1);
}

}  // namespace

bool sound_start() {
  g_margin = 0;
  if (!output_mixer() || !output_device_ok()) {
    report(kLevelDevice, Msg::DSoundInit);
    return false;
  }
  g_started = true;
  g_primary = true;
  output_mixer()->set_master(0, 0);
  return true;
}

void sound_stop() {
  snd_free(-1);
  g_primary = false;
  g_started = false;
}

bool sound_started() { return g_started; }

int32_t snd_free(int32_t slot) {
  if (slot == -1) return all_slots(snd_free);
  if (!valid(slot)) return 0;
  SoundSlot& s = g_slots[slot];
  if (s.streamed) {
    if (s.voice) {
      s.voice->stop();
      s.voice->set_volume(kSilence);
    }
    s.pause_count = 0;
    end_feeder(s);
    release_voice(s, slot);
    s.source.close();
  } else {
    release_voice(s, slot);
  }
  s.name.clear();
  s.streamed = false;
  return 1;
}

// Makes a slot as new: no buffer, no source, no effects.
void zero_slot(SoundSlot& s) {
  s.name.clear();
  s.loop_play = s.pause_count = s.loop = 0;
  s.buffer_flags = s.ring_size = 0;
  s.streamed = false;
  s.ended = false;
  s.written = 0;
  s.fx_mask = 0;
  s.fx = {};
}

int32_t snd_load(int32_t slot, std::string_view name) {
  if (!valid(slot)) return 0;
  snd_free(slot);
  if (!g_started || name.empty()) return 0;
  SoundSlot& s = g_slots[slot];
  zero_slot(s);
  SoundSource source;
  if (!source.open(name)) return 0;
  const PcmFormat f = source.format();
  const uint64_t length = source.pcm_length();
  const uint64_t margin = static_cast<uint64_t>(g_margin) * f.rate / 1000 * f.block_align();
  const uint64_t size = length + margin;
  Voice* v = make_voice(s, slot, f, size);
  if (!v) return 0;
  uint32_t flags = base_flags(kFlagsStatic);
  if (size * 1000 / f.bytes_per_second() >= 150) flags |= kFlagEffects;
  // The sound, then the margin, which the new buffer already holds as silence.
  source.read(v->data(), static_cast<uint32_t>(length));
  s.buffer_flags = flags;
  s.name.assign(name);
  s.streamed = false;
  return 1;
}

int32_t snd_loads(int32_t slot, std::string_view name) {
  if (!valid(slot)) return 0;
  snd_free(slot);
  if (!g_started || name.empty()) return 0;
  SoundSlot& s = g_slots[slot];
  zero_slot(s);
  if (!s.source.open(name)) return 0;
  const PcmFormat f = s.source.format();
  s.ring_size = 2 * f.bytes_per_second();
  if (!make_voice(s, slot, f, s.ring_size)) {
    s.source.close();
    s.ring_size = 0;
    return 0;
  }
  s.buffer_flags = base_flags(kFlagsStream);
  s.name.assign(name);
  s.streamed = true;
  return 1;
}

int32_t snd_play(int32_t slot, int32_t loop) {
  if (!valid(slot)) return 0;
  SoundSlot& s = g_slots[slot];
  s.pause_count = 0;
  if (!s.streamed) {
    s.loop_play = loop;
    if (!s.voice) return 0;
    s.voice->stop();
    s.voice->set_position(0);
    apply_effects(s);
    s.voice->play(s.loop_play != 0);
    return 1;
  }
  if (!s.voice || !s.source.is_open()) return 0;
  s.voice->stop();
  end_feeder(s);
  s.voice->set_position(0);
  apply_effects(s);
  s.loop_play = 1;
  s.ended = false;
  s.loop = loop;
  s.written = 0;
  s.source.restart();
  fill_half(s, 0);
  s.voice->play(true);
  s.feeder = std::thread(feeder_run, &s);
  return 1;
}

int32_t snd_stop(int32_t slot) {
  if (slot == -1) return all_slots(snd_stop);
  if (!valid(slot) || !g_slots[slot].voice) return 0;
  Voice& v = *g_slots[slot].voice;
  if (v.playing()) {
    v.stop();
    v.set_position(0);
  }
  return 1;
}

int32_t snd_pause(int32_t slot) {
  if (slot == -1) return all_slots(snd_pause);
  if (!valid(slot)) return 0;
  SoundSlot& s = g_slots[slot];
  if (s.pause_count > 0) {
    ++s.pause_count;
    return 1;
  }
  if (s.voice && s.voice->playing()) {
    s.pause_count = 1;
    s.voice->stop();
  }
  return 1;
}

int32_t snd_replay(int32_t slot) {
  if (slot == -1) return all_slots(snd_replay);
  if (!valid(slot)) return 0;
  SoundSlot& s = g_slots[slot];
  if (s.pause_count == 0) return 1;
  if (--s.pause_count == 0 && s.voice) s.voice->play(s.loop_play != 0);
  return 1;
}

int32_t snd_setvol(int32_t slot, int32_t volume) {
  if (slot == -1) {
    if (g_primary) output_mixer()->set_master(volume_to_db(volume), output_mixer()->master_pan());
    return 0;
  }
  if (valid(slot) && g_slots[slot].voice) g_slots[slot].voice->set_volume(volume_to_db(volume));
  return 0;
}

int32_t snd_getvol(int32_t slot) {
  if (slot == -1) return g_primary ? volume_from_db(output_mixer()->master_volume()) : 0;
  if (!valid(slot) || !g_slots[slot].voice) return 0;
  return volume_from_db(g_slots[slot].voice->volume());
}

int32_t snd_setpan(int32_t slot, int32_t pan) {
  if (slot == -1) {
    if (g_primary) output_mixer()->set_master(output_mixer()->master_volume(), pan_to_db(pan));
    return 0;
  }
  if (valid(slot) && g_slots[slot].voice) g_slots[slot].voice->set_pan(pan_to_db(pan));
  return 0;
}

int32_t snd_getpan(int32_t slot) {
  if (slot == -1) return g_primary ? pan_from_db(output_mixer()->master_pan()) : 0;
  if (!valid(slot) || !g_slots[slot].voice) return 0;
  return pan_from_db(g_slots[slot].voice->pan());
}

int32_t snd_setfreq(int32_t slot, int32_t hz) {
  if (slot == -1) {
    for (SoundSlot& s : g_slots)
      if (s.voice) s.voice->set_frequency(clamp_frequency(hz));
    return 1;
  }
  if (valid(slot) && g_slots[slot].voice) g_slots[slot].voice->set_frequency(clamp_frequency(hz));
  return 0;
}

int32_t snd_getfreq(int32_t slot) {
  if (!valid(slot) || !g_slots[slot].voice) return 0;
  return static_cast<int32_t>(g_slots[slot].voice->frequency());
}

int32_t snd_isplay(int32_t slot) {
  if (!valid(slot) || !g_slots[slot].voice) return 0;
  return g_slots[slot].voice->playing() ? 1 : 0;
}

int32_t snd_setloop(int32_t slot, int32_t ms) {
  if (!valid(slot) || !g_slots[slot].streamed || !g_slots[slot].source.is_open()) return 0;
  g_slots[slot].source.set_loop_ms(static_cast<uint32_t>(ms));
  return 1;
}

int32_t snd_setpos(int32_t slot, int32_t ms) {
  if (!valid(slot)) return 0;
  SoundSlot& s = g_slots[slot];
  if (!s.voice || s.voice->playing()) return 0;
  if (s.streamed) {
    s.source.seek_ms(static_cast<uint32_t>(ms));
  } else {
    const PcmFormat& f = s.voice->format();
    const uint64_t frames = static_cast<uint64_t>(f.rate) * static_cast<uint32_t>(ms) / 1000;
    const uint64_t byte = frames * f.bits / 8 * f.channels;
    s.voice->set_position(static_cast<uint32_t>(std::min<uint64_t>(byte, UINT32_MAX)));
  }
  return 1;
}

int32_t snd_getpos(int32_t slot) {
  if (!valid(slot)) return 0;
  SoundSlot& s = g_slots[slot];
  if (!s.voice || !s.voice->playing()) return 0;
  const PcmFormat& f = s.voice->format();
  const uint32_t c = s.voice->position();
  uint32_t p = c;
  if (s.streamed) {
    const uint32_t written = s.written;
    int64_t d = static_cast<int64_t>(written % s.ring_size) - c;
    if (d <= 0) d += s.ring_size;
    p = s.source.start_offset() + written - static_cast<uint32_t>(d);
    const uint32_t length = s.source.pcm_length();
    const uint32_t loop_start = s.source.loop_start();
    if (p >= length) p = length > loop_start ? loop_start + (p - loop_start) % (length - loop_start) : 0;
  }
  return static_cast<int32_t>(std::trunc(p / (f.bytes_per_second() / 1000.0)));
}

int32_t snd_getlen(int32_t slot) {
  if (!valid(slot) || !g_slots[slot].streamed) return 0;
  return static_cast<int32_t>(g_slots[slot].source.length_ms());
}

int32_t snd_gettext(int32_t slot, char (&text)[256]) {
  text[0] = 0;
  if (!valid(slot) || !g_slots[slot].streamed) return 0;
  return g_slots[slot].source.comment(text) ? 1 : 0;
}

int32_t snd_setmargin(int32_t ms) {
  g_margin = static_cast<uint32_t>(ms);
  return 1;
}

int32_t snd_seteffect(int32_t slot, uint32_t bit, const uint32_t* record) {
  if (!valid(slot) || !g_slots[slot].voice) return 0;
  SoundSlot& s = g_slots[slot];
  const int index = __builtin_ctz(bit);
  if (record) {
    std::memcpy(s.fx[index].data(), record, kEffectKindInfo[index].words * 4);
    s.fx_mask |= bit;
  } else {
    s.fx_mask &= ~bit;
  }
  return 1;
}

const Subsystem kSoundSubsystem{.name = "sound",
                                .wanted = [] { return config().DirectSound != 0; },
                                .start = sound_start,
                                .stop = sound_stop,
                                .pause = sound_pause,
                                .resume = sound_resume,
                                .reset = [] { snd_free(-1); },
                                .runtime_start = [] { register_routes(true); }};

}  // namespace zelt::audio
