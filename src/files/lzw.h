// The compressed file format ("zlt") and its LZW codec, shared by
// OpenExpFile/write_compressed and the compress/decompress tools.
//
// A file is the magic "zlt\0", the uncompressed size as a big-endian 32-bit
// number, then LZW codes written most significant bit first, zero bits
// filling the last byte. Codes 0-255 are bytes, 256 ends the stream, 257
// widens the codes by one bit from the next code on, 258 clears the
// dictionary (the next code is the first of a new stream, 9 bits wide), and
// 259-32767 are dictionary strings assigned in order. Codes start 9 bits wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zelt::files::lzw {

inline constexpr uint8_t kMagic[4] = {'z', 'l', 't', 0};
inline constexpr uint32_t kHeaderSize = 8;
inline constexpr size_t kBufferSize = 16384;  // bit reader and writer buffers

inline constexpr uint32_t kCodeEnd = 256;
inline constexpr uint32_t kCodeWiden = 257;
inline constexpr uint32_t kCodeReset = 258;
inline constexpr uint32_t kFirstString = 259;
inline constexpr uint32_t kLastString = 32767;
inline constexpr int kFirstWidth = 9;
inline constexpr int kMaxWidth = 15;
inline constexpr uint32_t kFirstLimit = 511;  // widen once the next free code passes this
inline constexpr int32_t kHashSlots = 35023;  // compressor's dictionary, a prime

// Input: stores up to size bytes, returns how many (0 at the end or on error).
using ReadFn = size_t (*)(void* context, uint8_t* buffer, size_t size);
// Output: writes all size bytes; false on a failed or short write.
using WriteFn = bool (*)(void* context, const uint8_t* data, size_t size);

// Reads codes most significant bit first through a kBufferSize buffer.
class BitReader {
 public:
  BitReader(ReadFn source, void* context);
  // False when the buffer could not be allocated.
  bool valid() const { return buffer_ != nullptr; }

  // Reads n bits (1 to 32); false when the input ends first.
  bool read(int n, uint32_t& value) {
    if (bits_ < n) {
      refill();
      if (bits_ < n) return false;
    }
    value = static_cast<uint32_t>(acc_ >> (64 - n));
    acc_ <<= n;
    bits_ -= n;
    return true;
  }
  // True when no whole byte is left after the bits read so far: only the
  // zero bits that fill the current byte. Reads on from the input to see.
  bool at_end();

 private:
  void refill();

  ReadFn read_;
  void* context_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t length_ = 0, position_ = 0;
  // The next unread bits, first at the top; bits_ of them are valid (the
  // bits below may hold the first bits of the next byte, which the next
  // refill ORs in again at the same place).
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// Writes codes most significant bit first; completed bytes go to the output
// in kBufferSize blocks.
class BitWriter {
 public:
  BitWriter(WriteFn sink, void* context);
  bool valid() const { return buffer_ != nullptr; }

  // Appends the low n bits of value (n ≤ 32); false when a full buffer could
  // not be written (and from then on).
  bool write(uint32_t value, int n) {
    acc_ = (acc_ << n) | (value & (n == 32 ? 0xFFFFFFFFu : (1u << n) - 1));
    bits_ += n;
    while (bits_ >= 8) {
      bits_ -= 8;
      buffer_[length_++] = static_cast<uint8_t>(acc_ >> bits_);
      if (length_ == kBufferSize && !flush()) return false;
    }
    return !failed_;
  }
  // Pads the last byte with zero bits and writes what is left; false when
  // that write fails.
  bool finish();

 private:
  bool flush();

  WriteFn write_;
  void* context_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t length_ = 0;
  uint64_t acc_ = 0;
  int bits_ = 0;
  bool failed_ = false;
};

enum class EncodeStatus {
  kOk,
  kNoDictionary,  // the dictionary could not be allocated
  kWriteFailed,   // a full buffer could not be written
};

// Writes the LZW codes of data (size ≥ 1) ending with code 256; the caller
// writes the header before and calls finish() after.
EncodeStatus encode(BitWriter& out, const uint8_t* data, size_t size);

enum class DecodeStatus {
  kOk,            // possibly short of the announced size (the rest reads as 0)
  kNoDictionary,  // the dictionary could not be allocated
  kNoMemory,      // the output could not be allocated
  kTooLong,       // the stream produces more than the announced size
  kCorrupt,       // a code names an undefined string, or the width exceeds 15
};

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

struct Decoded {
  // The bytes produced (data may hold fewer than the announced size; it is
  // allocated as the stream produces bytes, so a header announcing more
  // than the stream can hold costs no memory).
  std::unique_ptr<uint8_t[], FreeDeleter> data;
  uint32_t produced = 0;
  bool ended = false;  // the stream ended with code 256 (not by running out)
};

// Decodes the codes that follow the header, producing at most size bytes.
// size_hint (for example the compressed size) sizes the first allocation.
DecodeStatus decode(BitReader& in, uint32_t size, uint64_t size_hint, Decoded& out);

// Big-endian size field of the header.
inline uint32_t header_size_field(const uint8_t* header) {
  return uint32_t{header[4]} << 24 | uint32_t{header[5]} << 16 | uint32_t{header[6]} << 8 | header[7];
}
inline bool has_magic(const uint8_t* header) {
  return header[0] == kMagic[0] && header[1] == kMagic[1] && header[2] == kMagic[2] && header[3] == kMagic[3];
}

// Reading from and writing to memory (tools, fuzz targets, benchmarks).
struct MemorySource {
  const uint8_t* data;
  size_t size;
  static size_t read(void* context, uint8_t* buffer, size_t size);
};

}  // namespace zelt::files::lzw
