#include "audio/sound_source.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "files/exp_file.h"

namespace zelt::audio {
namespace {

// Positions are 32-bit byte counts; longer sounds are refused.
constexpr uint64_t kMaxPcmLength = 0x7FFFFFFF;
// A decoder that answers nothing but errors this many times in a row has
// lost the stream: it ends there.
constexpr int kMaxVorbisErrors = 32;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
int16_t s16(const uint8_t* p) { return static_cast<int16_t>(u16(p)); }
uint32_t u32(const uint8_t* p) { return u16(p) | static_cast<uint32_t>(u16(p + 2)) << 16; }

// Microsoft ADPCM: how the step size follows each 4-bit code.
constexpr int32_t kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                     768, 614, 512, 409, 307, 230, 230, 230};
// Keeps n × delta and the next adaptation inside 32 bits on hostile data;
// real encoders never come near it.
constexpr int32_t kMaxDelta = INT32_MAX / 768;

struct AdpcmChannel {
  const int16_t* coef;  // one pair
  int32_t delta, sample1, sample2;

  int16_t decode(uint8_t code) {
    const int64_t predicted = (static_cast<int64_t>(sample1) * coef[0] + static_cast<int64_t>(sample2) * coef[1]) >> 8;
    const int32_t signed_code = code >= 8 ? code - 16 : code;
    const int64_t value = std::clamp<int64_t>(predicted + static_cast<int64_t>(signed_code) * delta, -32768, 32767);
    delta = std::clamp((kAdaptation[code] * delta) >> 8, 16, kMaxDelta);
    sample2 = sample1;
    sample1 = static_cast<int32_t>(value);
    return static_cast<int16_t>(value);
  }
};

}  // namespace

// libvorbisfile over the image: the four callbacks read, seek and tell in
// it; closing does nothing (the image belongs to the source).
struct SoundSource::Vorbis {
  OggVorbis_File file{};
  const std::vector<uint8_t>* image = nullptr;
  size_t at = 0;
  int section = -1;
  int64_t total_samples = 0;
  bool ended = false;  // the stream failed for good

  static size_t read(void* out, size_t size, size_t count, void* self) {
    auto* v = static_cast<Vorbis*>(self);
    if (size == 0) return 0;
    const size_t left = v->image->size() - v->at;
    const size_t n = std::min(size * count, left) / size * size;
    std::memcpy(out, v->image->data() + v->at, n);
    v->at += n;
    return n / size;
  }
  static int seek(void* self, ogg_int64_t offset, int origin) {
    auto* v = static_cast<Vorbis*>(self);
    const int64_t size = static_cast<int64_t>(v->image->size());
    int64_t to;
    switch (origin) {
      case SEEK_SET: to = offset; break;
      case SEEK_CUR: to = static_cast<int64_t>(v->at) + offset; break;
      case SEEK_END: to = size + offset; break;
      default: return -1;
    }
    if (to < 0 || to > size) return -1;
    v->at = static_cast<size_t>(to);
    return 0;
  }
  static int close(void*) { return 0; }
  static long tell(void* self) { return static_cast<long>(static_cast<Vorbis*>(self)->at); }
};

SoundSource::SoundSource() = default;
SoundSource::~SoundSource() { close(); }

bool SoundSource::open(std::string_view path) {
  close();
  files::ExpFile* f = files::OpenExpFile(path);
  if (!f) return false;
  const int32_t size = files::exp_size(f);
  std::vector<uint8_t> image;
  bool ok = size >= 0;
  if (ok) {
    image.resize(static_cast<size_t>(size));
    uint32_t got = 0;
    ok = size == 0 || (files::exp_read(f, image.data(), static_cast<uint32_t>(size), &got) && got == static_cast<uint32_t>(size));
  }
  files::exp_close(f);
  return ok && open_image(std::move(image));
}

bool SoundSource::open_image(std::vector<uint8_t> image) {
  close();
  image_ = std::move(image);
  const bool ok = image_.size() >= 4 && std::memcmp(image_.data(), "OggS", 4) == 0 ? open_ogg() : open_wave();
  if (!ok) close();
  return ok;
}

bool SoundSource::open_ogg() {
  vorbis_ = std::make_unique<Vorbis>();
  vorbis_->image = &image_;
  const ov_callbacks callbacks{Vorbis::read, Vorbis::seek, Vorbis::close, Vorbis::tell};
  if (ov_open_callbacks(vorbis_.get(), &vorbis_->file, nullptr, 0, callbacks) != 0) {
    vorbis_.reset();  // a failed open has cleared the decoder itself
    return false;
  }
  kind_ = Kind::ogg;  // from here close() clears the decoder
  const vorbis_info* info = ov_info(&vorbis_->file, -1);
  if (!info || info->channels < 1 || info->channels > 2 || info->rate < static_cast<long>(kMinSourceRate) ||
      info->rate > static_cast<long>(kMaxSourceRate))
    return false;
  format_ = {static_cast<uint16_t>(info->channels), static_cast<uint32_t>(info->rate), 16};
  vorbis_->total_samples = std::max<int64_t>(0, ov_pcm_total(&vorbis_->file, -1));
  const uint64_t length = static_cast<uint64_t>(vorbis_->total_samples) * format_.block_align();
  if (length > kMaxPcmLength) return false;
  length_ = static_cast<uint32_t>(length);
  return true;
}

bool SoundSource::open_wave() {
  const uint8_t* p = image_.data();
  const size_t size = image_.size();
  if (size < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0) return false;
  // The chunks of the form, as far as the file holds them; a chunk size
  // beyond the file is cut to the file (a truncated sound ends early).
  const size_t form_end = std::min<size_t>(size, 8 + static_cast<uint64_t>(u32(p + 4)));
  const uint8_t* fmt = nullptr;
  uint32_t fmt_size = 0;
  bool have_data = false;
  for (size_t at = 12; at + 8 <= form_end;) {
    const uint32_t chunk = u32(p + at + 4);
    const size_t body = at + 8;
    const size_t avail = std::min<uint64_t>(chunk, form_end - body);
    if (std::memcmp(p + at, "fmt ", 4) == 0 && !fmt) {
      if (avail < chunk) return false;  // a cut format record is no format
      fmt = p + body;
      fmt_size = chunk;
    } else if (std::memcmp(p + at, "data", 4) == 0 && fmt) {
      data_offset_ = static_cast<uint32_t>(body);
      data_size_ = static_cast<uint32_t>(avail);
      have_data = true;
      break;
    }
    at = body + chunk + (chunk & 1);
    if (at < body) break;
  }
  if (!fmt || !have_data || fmt_size < 16) return false;

  const uint16_t tag = u16(fmt);
  const uint16_t channels = u16(fmt + 2);
  const uint32_t rate = u32(fmt + 4);
  const uint16_t bits = u16(fmt + 14);
  if (channels < 1 || channels > 2 || rate < kMinSourceRate || rate > kMaxSourceRate) return false;
  uint64_t length = 0;
  if (tag == 1) {
    if (bits != 8 && bits != 16) return false;
    format_ = {channels, rate, bits};
    // Whole frames only: a stray odd byte at the end is not a sample.
    data_size_ -= data_size_ % format_.block_align();
    length = data_size_;
    kind_ = Kind::pcm;
  } else if (tag == 2) {
    if (fmt_size < 22) return false;
    block_align_ = u16(fmt + 12);
    samples_per_block_ = u16(fmt + 18);
    const uint32_t pairs = std::min<uint32_t>(u16(fmt + 20), (fmt_size - 22) / 4);
    // Every block must hold its header and all its codes.
    const uint32_t needed = 7u * channels + ((samples_per_block_ - 2) * channels + 1) / 2;
    if (pairs == 0 || samples_per_block_ < 2 || block_align_ < needed) return false;
    coefficients_.resize(pairs * 2);
    for (uint32_t i = 0; i < pairs * 2; ++i) coefficients_[i] = s16(fmt + 22 + 2 * i);
    format_ = {channels, rate, 16};
    block_bytes_ = samples_per_block_ * channels * 2;
    block_.resize(block_bytes_);
    length = static_cast<uint64_t>(data_size_ / block_align_) * block_bytes_;
    kind_ = Kind::adpcm;
  } else {
    return false;
  }
  if (length > kMaxPcmLength) {
    kind_ = Kind::none;
    return false;
  }
  length_ = static_cast<uint32_t>(length);
  return true;
}

void SoundSource::close() {
  if (vorbis_ && kind_ == Kind::ogg) ov_clear(&vorbis_->file);
  vorbis_.reset();
  kind_ = Kind::none;
  image_ = {};
  format_ = {};
  length_ = start_offset_ = 0;
  loop_start_ = 0;
  data_offset_ = data_size_ = read_pos_ = 0;
  block_align_ = samples_per_block_ = block_bytes_ = block_left_ = 0;
  coefficients_ = {};
  block_ = {};
}

uint32_t SoundSource::read(void* buffer, uint32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t n = 0;
  switch (kind_) {
    case Kind::ogg: n = read_ogg(out, count); break;
    case Kind::pcm: n = read_pcm(out, count); break;
    case Kind::adpcm: n = read_adpcm(out, count); break;
    case Kind::none: break;
  }
  std::memset(out + n, format_.bits == 8 ? 0x80 : 0, count - n);
  return n;
}

uint32_t SoundSource::read_pcm(uint8_t* out, uint32_t count) {
  const uint32_t n = read_pos_ < data_size_ ? std::min(count, data_size_ - read_pos_) : 0;
  std::memcpy(out, image_.data() + data_offset_ + read_pos_, n);
  read_pos_ += n;
  return n;
}

uint32_t SoundSource::read_adpcm(uint8_t* out, uint32_t count) {
  // Whole samples only: an odd count leaves its last byte to the silence.
  count &= ~1u;
  uint32_t n = 0;
  while (n < count) {
    if (block_left_ == 0 && !decode_block()) break;
    const uint32_t take = std::min(count - n, block_left_);
    std::memcpy(out + n, block_.data() + (block_bytes_ - block_left_), take);
    n += take;
    read_pos_ += take;
    block_left_ -= take;
  }
  return n;
}

// Decodes the block that holds read_pos_; false when the data holds no
// such whole block.
bool SoundSource::decode_block() {
  const uint32_t number = read_pos_ / block_bytes_;
  const uint64_t start = static_cast<uint64_t>(number) * block_align_;
  if (start + block_align_ > data_size_) return false;
  const uint8_t* in = image_.data() + data_offset_ + start;
  const uint32_t channels = format_.channels;
  const uint32_t pairs = static_cast<uint32_t>(coefficients_.size() / 2);
  AdpcmChannel ch[2];
  for (uint32_t c = 0; c < channels; ++c) {
    // A predictor beyond the table takes the first pair.
    const uint32_t predictor = in[c] < pairs ? in[c] : 0;
    ch[c].coef = &coefficients_[predictor * 2];
    // The step as the header has it, even below 16: the first code uses it.
    ch[c].delta = s16(in + channels + 2 * c);
    ch[c].sample1 = s16(in + 3 * channels + 2 * c);
    ch[c].sample2 = s16(in + 5 * channels + 2 * c);
  }
  auto* pcm = reinterpret_cast<int16_t*>(block_.data());
  size_t k = 0;
  for (uint32_t c = 0; c < channels; ++c) pcm[k++] = static_cast<int16_t>(ch[c].sample2);
  for (uint32_t c = 0; c < channels; ++c) pcm[k++] = static_cast<int16_t>(ch[c].sample1);
  const uint8_t* codes = in + 7 * channels;
  const size_t total = static_cast<size_t>(samples_per_block_) * channels;
  for (size_t i = 0; k < total; ++i) {
    pcm[k] = ch[k % channels].decode(codes[i] >> 4);
    if (++k < total) pcm[k] = ch[k % channels].decode(codes[i] & 15);
    ++k;
  }
  block_left_ = block_bytes_ - read_pos_ % block_bytes_;
  return true;
}

uint32_t SoundSource::read_ogg(uint8_t* out, uint32_t count) {
  Vorbis& v = *vorbis_;
  uint32_t n = 0;
  int errors = 0;
  while (n < count && !v.ended) {
    int section = v.section;
    const long got = ov_read(&v.file, reinterpret_cast<char*>(out + n), static_cast<int>(std::min<uint32_t>(count - n, 1 << 20)),
                             0, 2, 1, &section);
    if (got == 0) break;
    if (got < 0) {
      // A gap in the stream: skipped, unless nothing else comes.
      if (++errors >= kMaxVorbisErrors) v.ended = true;
      continue;
    }
    errors = 0;
    // A chained stream whose next link has another layout ends here: its
    // samples would play as noise.
    if (section != v.section) {
      const vorbis_info* info = ov_info(&v.file, section);
      if (!info || info->channels != format_.channels || info->rate != static_cast<long>(format_.rate)) {
        v.ended = true;
        break;
      }
      v.section = section;
    }
    n += static_cast<uint32_t>(got);
  }
  // Whole frames only.
  return n - n % format_.block_align();
}

uint32_t SoundSource::whole_frame_bytes(uint32_t ms) const {
  const uint64_t b = static_cast<uint64_t>(format_.bytes_per_second()) * ms / 1000;
  const uint64_t frame = format_.block_align();
  return static_cast<uint32_t>(std::min<uint64_t>(b - b % frame, UINT32_MAX));
}

void SoundSource::move_to(uint32_t byte) {
  if (kind_ == Kind::ogg) {
    vorbis_->ended = false;
    ov_pcm_seek(&vorbis_->file, byte / format_.block_align());
  } else {
    read_pos_ = byte;
    block_left_ = 0;
  }
}

void SoundSource::seek_ms(uint32_t ms) {
  if (!is_open()) return;
  if (kind_ == Kind::ogg) {
    const uint64_t s = static_cast<uint64_t>(format_.rate) * ms / 1000;
    if (s >= static_cast<uint64_t>(vorbis_->total_samples)) return;
    start_offset_ = static_cast<uint32_t>(s * format_.block_align());
    move_to(start_offset_);
    return;
  }
  const uint32_t b = whole_frame_bytes(ms);
  if (b >= length_) return;
  start_offset_ = b;
  move_to(b);
}

void SoundSource::set_loop_ms(uint32_t ms) {
  if (!is_open()) return;
  const uint32_t b = whole_frame_bytes(ms);
  if (b < length_) loop_start_.store(b, std::memory_order_relaxed);
}

void SoundSource::rewind() {
  if (is_open()) move_to(loop_start());
}

void SoundSource::restart() {
  if (is_open()) move_to(start_offset_);
}

uint32_t SoundSource::length_ms() const {
  if (!is_open()) return 0;
  const uint64_t frames = length_ / format_.block_align();
  return static_cast<uint32_t>(frames * 1000 / format_.rate);
}

bool SoundSource::comment(char (&out)[256]) const {
  out[0] = 0;
  if (kind_ != Kind::ogg) return false;
  const vorbis_comment* vc = ov_comment(&vorbis_->file, -1);
  if (!vc) return false;
  for (int i = 0; i < vc->comments; ++i) {
    const int len = vc->comment_lengths[i];
    if (len < 8 || std::memcmp(vc->user_comments[i], "COMMENT=", 8) != 0) continue;
    const size_t n = std::min<size_t>(static_cast<size_t>(len - 8), 255);
    std::memcpy(out, vc->user_comments[i] + 8, n);
    out[n] = 0;
    return true;
  }
  return false;
}

}  // namespace zelt::audio
