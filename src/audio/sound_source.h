// A sound file held whole in memory and turned into PCM on demand. Three
// kinds are understood, told apart by their first bytes, never by name:
// Ogg Vorbis ("OggS", decoded by libvorbisfile over the in-memory image),
// RIFF WAVE with PCM (delivered unchanged) and RIFF WAVE with Microsoft
// ADPCM (decoded here block by block). Sounds loaded whole read a source
// once; streams keep theirs and read it piece by piece.
//
// Positions are PCM bytes of the output format (what read delivers);
// milliseconds are unsigned, so a negative script value is far out of range
// and changes nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace zelt::audio {

// The PCM that read delivers: 8- or 16-bit samples, 1 or 2 channels,
// interleaved, little-endian.
struct PcmFormat {
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint16_t bits = 0;
  uint16_t block_align() const { return static_cast<uint16_t>(channels * bits / 8); }
  uint32_t bytes_per_second() const { return rate * block_align(); }
  bool operator==(const PcmFormat&) const = default;
};

// Rates a source accepts; anything else is not a sound.
inline constexpr uint32_t kMinSourceRate = 1;
inline constexpr uint32_t kMaxSourceRate = 1'000'000;

class SoundSource {
 public:
  SoundSource();
  ~SoundSource();
  SoundSource(const SoundSource&) = delete;
  SoundSource& operator=(const SoundSource&) = delete;

  // Opens a script path through the expanding file layer (archives and
  // compressed files included); the file layer reports its own failures.
  // False, with everything freed, when the file is not a sound.
  bool open(std::string_view path);
  // The same on a file image already in memory (taken over).
  bool open_image(std::vector<uint8_t> image);
  void close();
  bool is_open() const { return kind_ != Kind::none; }
  bool is_ogg() const { return kind_ == Kind::ogg; }

  const PcmFormat& format() const { return format_; }
  // PCM length L in bytes; an ADPCM file counts whole blocks only.
  uint32_t pcm_length() const { return length_; }
  uint32_t start_offset() const { return start_offset_; }
  uint32_t loop_start() const { return loop_start_.load(std::memory_order_relaxed); }

  // Fills count bytes: real sound first, silence after it (0x80 bytes for
  // 8-bit samples). Returns the bytes of real sound.
  uint32_t read(void* buffer, uint32_t count);
  // Moves the start (and the read position) when ms lies inside the sound.
  void seek_ms(uint32_t ms);
  // Moves the loop start when ms lies inside the sound. A playing stream's
  // feeder may read it meanwhile: one 32-bit store.
  void set_loop_ms(uint32_t ms);
  // Reading goes on from the loop start / the start offset.
  void rewind();
  void restart();
  uint32_t length_ms() const;
  // Ogg: the text after the first "COMMENT=" comment, at most 255 bytes and a
  // zero byte into out; false when there is none. Other sources write "".
  bool comment(char (&out)[256]) const;

 private:
  enum class Kind { none, ogg, pcm, adpcm };
  struct Vorbis;

  bool open_ogg();
  bool open_wave();
  uint32_t read_ogg(uint8_t* out, uint32_t count);
  uint32_t read_pcm(uint8_t* out, uint32_t count);
  uint32_t read_adpcm(uint8_t* out, uint32_t count);
  bool decode_block();
  uint32_t whole_frame_bytes(uint32_t ms) const;
  void move_to(uint32_t byte);

  Kind kind_ = Kind::none;
  std::vector<uint8_t> image_;
  PcmFormat format_;
  uint32_t length_ = 0;
  uint32_t start_offset_ = 0;
  std::atomic<uint32_t> loop_start_{0};

  // WAV: the 'data' chunk inside the image and the next PCM byte to deliver.
  uint32_t data_offset_ = 0;
  uint32_t data_size_ = 0;
  uint32_t read_pos_ = 0;

  // ADPCM: the block layout, the coefficient table and one decoded block.
  uint32_t block_align_ = 0;
  uint32_t samples_per_block_ = 0;
  uint32_t block_bytes_ = 0;
  std::vector<int16_t> coefficients_;  // pairs
  std::vector<uint8_t> block_;
  uint32_t block_left_ = 0;

  std::unique_ptr<Vorbis> vorbis_;
};

}  // namespace zelt::audio
