// Arbitrary bytes as a sound file (WAV PCM, Microsoft ADPCM or Ogg Vorbis,
// by their first bytes): the source refuses them or delivers a sound of a
// sane format, reads in any pieces never write past the request, WAV
// sources never deliver more than their length, and seeking, looping and
// rewinding anywhere stay inside the sound.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/sound_source.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant failed: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zelt::audio::SoundSource;
  // The last byte steers the reads; the rest is the file.
  if (size == 0) return 0;
  const uint8_t steer = data[size - 1];
  SoundSource s;
  if (!s.open_image(std::vector<uint8_t>(data, data + size - 1))) {
    check(!s.is_open(), "a refused file leaves the source closed");
    return 0;
  }
  const auto& f = s.format();
  check(f.channels == 1 || f.channels == 2, "channels");
  check(f.bits == 8 || f.bits == 16, "bits");
  check(f.rate >= zelt::audio::kMinSourceRate && f.rate <= zelt::audio::kMaxSourceRate, "rate");
  check(s.pcm_length() % f.block_align() == 0, "whole frames");

  const uint32_t chunk = 1 + steer * 37u;
  std::vector<uint8_t> buf(chunk + 16);
  uint64_t total = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 4096; ++i) {
      buf[chunk] = 0xEE;
      const uint32_t n = s.read(buf.data(), chunk);
      check(n <= chunk, "read within the request");
      check(buf[chunk] == 0xEE, "no write past the request");
      total += n;
      if (n < chunk) break;
    }
    if (!s.is_ogg()) check(total <= s.pcm_length(), "no more than the length");
    s.seek_ms(steer * 13u);
    s.set_loop_ms(steer * 7u);
    check(s.start_offset() < s.pcm_length() || s.start_offset() == 0, "start inside the sound");
    check(s.loop_start() < s.pcm_length() || s.loop_start() == 0, "loop inside the sound");
    (pass == 0 ? s.restart() : s.rewind());
    total = 0;
  }
  char text[256];
  s.comment(text);
  (void)s.length_ms();
  return 0;
}
