#include "files/lzw.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zelt::files::lzw {

// ---- bit reader ----

BitReader::BitReader(ReadFn source, void* context)
    : read_(source), context_(context), buffer_(new (std::nothrow) uint8_t[kBufferSize + 8]) {}

void BitReader::refill() {
  while (bits_ < 56) {
    if (position_ == length_) {
      length_ = read_(context_, buffer_.get(), kBufferSize);
      position_ = 0;
      if (length_ == 0) return;
    }
    if (length_ - position_ >= 8) {
      // Eight bytes at once; only whole bytes count as taken.
      uint64_t x = 0;
      for (int i = 0; i < 8; ++i) x = x << 8 | buffer_[position_ + i];
      acc_ |= x >> bits_;
      const int taken = (63 - bits_) >> 3;
      position_ += static_cast<size_t>(taken);
      bits_ += taken * 8;
    } else {
      acc_ |= uint64_t{buffer_[position_++]} << (56 - bits_);
      bits_ += 8;
    }
  }
}

bool BitReader::at_end() {
  // Whole bytes are taken into acc_, so 8 or more bits there mean a byte
  // beyond the current one.
  if (bits_ >= 8 || position_ < length_) return false;
  length_ = read_(context_, buffer_.get(), kBufferSize);
  position_ = 0;
  return length_ == 0;
}

// ---- bit writer ----

BitWriter::BitWriter(WriteFn sink, void* context)
    : write_(sink), context_(context), buffer_(new (std::nothrow) uint8_t[kBufferSize]) {}

bool BitWriter::flush() {
  if (!failed_ && length_ > 0 && !write_(context_, buffer_.get(), length_)) failed_ = true;
  length_ = 0;
  return !failed_;
}

bool BitWriter::finish() {
  if (failed_) return false;
  if (bits_ > 0) {
    buffer_[length_++] = static_cast<uint8_t>(acc_ << (8 - bits_));
    bits_ = 0;
  }
  return flush();
}

// ---- compression ----

namespace {

// A slot of the compressor's hash table: code -1 when empty; key holds the
// prefix code and the appended byte (prefix << 8 | byte).
struct Slot {
  int32_t code;
  uint32_t key;
};

struct CodeState {
  uint32_t next = kFirstString;
  int width = kFirstWidth;
  uint32_t limit = kFirstLimit;
  void reset() { *this = CodeState{}; }
};

}  // namespace

EncodeStatus encode(BitWriter& out, const uint8_t* data, size_t size) {
  std::unique_ptr<Slot[]> table(new (std::nothrow) Slot[kHashSlots]);
  if (!table) return EncodeStatus::kNoDictionary;
  auto clear = [&] { std::fill_n(table.get(), kHashSlots, Slot{-1, 0}); };
  CodeState state;
  clear();

  uint32_t current = data[0];
  for (size_t i = 1; i < size; ++i) {
    const uint32_t byte = data[i];
    int32_t index = static_cast<int32_t>(current ^ (byte << 7));
    const int32_t step = index == 0 ? 1 : kHashSlots - index;
    const uint32_t key = current << 8 | byte;
    while (table[index].code != -1 && table[index].key != key) {
      index -= step;
      if (index < 0) index += kHashSlots;
    }
    if (table[index].code != -1) {
      current = static_cast<uint32_t>(table[index].code);
      continue;
    }
    table[index] = Slot{static_cast<int32_t>(state.next), key};
    ++state.next;
    if (!out.write(current, state.width)) return EncodeStatus::kWriteFailed;
    if (state.next > kLastString) {
      if (!out.write(kCodeReset, state.width)) return EncodeStatus::kWriteFailed;
      state.reset();
      clear();
    } else if (state.next > state.limit) {
      if (!out.write(kCodeWiden, state.width)) return EncodeStatus::kWriteFailed;
      ++state.width;
      state.limit = 2 * state.limit + 1;
    }
    current = byte;
  }
  if (!out.write(current, state.width) || !out.write(kCodeEnd, state.width)) return EncodeStatus::kWriteFailed;
  return EncodeStatus::kOk;
}

// ---- decompression ----

namespace {

// Every dictionary string is a string the output already holds: the string
// of the previous code followed by the first byte of the next one. So an
// entry is its place in the output, and decoding a code is one copy.
struct Span {
  uint32_t start;
  uint32_t length;
};

// Room kept after the produced bytes so that copies may move 16 bytes at a time.
constexpr size_t kSlack = 16;

class Output {
 public:
  Output(uint32_t size, uint64_t hint) : size_(size), hint_(hint) {}

  uint8_t* data() { return data_.get(); }
  // Makes room for n more bytes after `produced`; false when out of memory.
  bool reserve(uint64_t produced, uint64_t n) {
    if (produced + n + kSlack <= capacity_) return true;
    return grow(produced + n + kSlack);
  }
  std::unique_ptr<uint8_t[], FreeDeleter> take() { return std::move(data_); }

 private:
  bool grow(uint64_t needed) {
    // Double, starting from the compressed size's likely expansion, but
    // never beyond the announced size (plus the copy slack).
    uint64_t capacity = capacity_ ? capacity_ * 2 : std::max<uint64_t>(hint_ * 4, 64 * 1024);
    capacity = std::min<uint64_t>(std::max(capacity, needed), uint64_t{size_} + kSlack);
    if (capacity < needed) return false;
    void* p = std::realloc(data_.get(), static_cast<size_t>(capacity));
    if (!p) return false;
    (void)data_.release();
    data_.reset(static_cast<uint8_t*>(p));
    capacity_ = capacity;
    return true;
  }

  std::unique_ptr<uint8_t[], FreeDeleter> data_;
  uint64_t capacity_ = 0;
  uint32_t size_;
  uint64_t hint_;
};

// Copies n bytes from src to dst (src + n <= dst, so the bytes that matter
// never overlap), 16 at a time: may read and write up to 15 bytes past n.
inline void copy_string(uint8_t* dst, const uint8_t* src, uint32_t n) {
  for (uint32_t i = 0; i < n; i += 16) {
    uint8_t chunk[16];
    std::memcpy(chunk, src + i, 16);
    std::memcpy(dst + i, chunk, 16);
  }
}

}  // namespace

DecodeStatus decode(BitReader& in, uint32_t size, uint64_t size_hint, Decoded& result) {
  result = Decoded{};
  std::unique_ptr<Span[]> table(new (std::nothrow) Span[kLastString + 1]);
  if (!table) return DecodeStatus::kNoDictionary;
  Output out(size, size_hint);
  uint64_t produced = 0;
  auto finish = [&](DecodeStatus s) {
    result.data = out.take();
    result.produced = static_cast<uint32_t>(produced);
    return s;
  };

  for (;;) {  // one pass per stream; code 258 starts the next
    CodeState state;
    uint32_t code;
    if (!in.read(state.width, code)) return finish(DecodeStatus::kOk);
    if (code == kCodeEnd) {
      result.ended = true;
      return finish(DecodeStatus::kOk);
    }
    // A stream starts with a byte; anything else names nothing yet.
    if (code > 0xFF) return finish(DecodeStatus::kCorrupt);
    if (produced + 1 > size) return finish(DecodeStatus::kTooLong);
    if (!out.reserve(produced, 1)) return finish(DecodeStatus::kNoMemory);
    out.data()[produced] = static_cast<uint8_t>(code);
    // The previous code's string, where the output holds it.
    uint32_t prev_start = static_cast<uint32_t>(produced);
    uint32_t prev_length = 1;
    ++produced;

    for (;;) {
      if (!in.read(state.width, code)) return finish(DecodeStatus::kOk);
      uint32_t length;
      if (code < 0x100) {
        length = 1;
        if (produced + 1 > size) return finish(DecodeStatus::kTooLong);
        if (!out.reserve(produced, 1)) return finish(DecodeStatus::kNoMemory);
        out.data()[produced] = static_cast<uint8_t>(code);
      } else if (code == kCodeWiden) {
        if (++state.width > kMaxWidth) return finish(DecodeStatus::kCorrupt);
        continue;
      } else if (code == kCodeReset) {
        break;
      } else if (code == kCodeEnd) {
        result.ended = true;
        return finish(DecodeStatus::kOk);
      } else {
        // code == next is the string being defined right now: the previous
        // string and its own first byte. Anything beyond is undefined.
        if (code > state.next) return finish(DecodeStatus::kCorrupt);
        const Span s = code < state.next ? table[code] : Span{prev_start, prev_length + 1};
        length = s.length;
        if (produced + length > size) return finish(DecodeStatus::kTooLong);
        if (!out.reserve(produced, length)) return finish(DecodeStatus::kNoMemory);
        uint8_t* dst = out.data() + produced;
        if (code < state.next) {
          copy_string(dst, out.data() + s.start, length);
        } else {
          copy_string(dst, out.data() + prev_start, prev_length);
          dst[prev_length] = out.data()[prev_start];
        }
      }
      // The new entry: the previous string plus this string's first byte,
      // which the output now holds right after it.
      if (state.next > kLastString) return finish(DecodeStatus::kCorrupt);
      table[state.next++] = Span{prev_start, prev_length + 1};
      prev_start = static_cast<uint32_t>(produced);
      prev_length = length;
      produced += length;
    }
  }
}

size_t MemorySource::read(void* context, uint8_t* buffer, size_t size) {
  auto* source = static_cast<MemorySource*>(context);
  const size_t n = std::min(size, source->size);
  if (n > 0) std::memcpy(buffer, source->data, n);
  source->data += n;
  source->size -= n;
  return n;
}

}  // namespace zelt::files::lzw
