// The byte ring between a script and a network service thread: 8192 bytes
// with a read and a write index. Equal indices mean empty, so it holds at
// most 8191 bytes. Not locked itself: both sides use it under the network
// lock.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>

namespace zelt::net {

inline constexpr uint32_t kRingSize = 8192;
inline constexpr uint32_t kRingCapacity = kRingSize - 1;

class Ring {
 public:
  uint32_t filled() const { return (write_ - read_) & kMask; }
  uint32_t space() const { return (read_ - write_ - 1) & kMask; }
  bool empty() const { return read_ == write_; }
  void clear() { read_ = write_ = 0; }

  // Copies min(data.size(), space()) bytes in at the write index; the count.
  uint32_t put(std::span<const uint8_t> data) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(data.size(), space()));
    if (n == 0) return 0;
    const uint32_t first = std::min(n, kRingSize - write_);
    std::memcpy(bytes_.data() + write_, data.data(), first);
    std::memcpy(bytes_.data(), data.data() + first, n - first);
    write_ = (write_ + n) & kMask;
    return n;
  }

  // Copies min(out.size(), filled()) bytes out from the read index; the count.
  uint32_t take(std::span<uint8_t> out) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(out.size(), filled()));
    if (n == 0) return 0;
    const uint32_t first = std::min(n, kRingSize - read_);
    std::memcpy(out.data(), bytes_.data() + read_, first);
    std::memcpy(out.data() + first, bytes_.data(), n - first);
    read_ = (read_ + n) & kMask;
    return n;
  }

  // The filled bytes from the read index up to the end of the storage, for
  // a socket to send from; then consumed(count sent).
  std::span<const uint8_t> filled_piece() const {
    const uint32_t end = write_ >= read_ ? write_ : kRingSize;
    return {bytes_.data() + read_, end - read_};
  }
  void consumed(uint32_t n) { read_ = (read_ + n) & kMask; }

  // The free bytes from the write index up to the end of the storage (or up
  // to the byte before the read index), for a socket to receive into; then
  // produced(count received).
  std::span<uint8_t> space_piece() {
    const uint32_t end = read_ > write_ ? read_ - 1 : (read_ == 0 ? kRingSize - 1 : kRingSize);
    return {bytes_.data() + write_, end - write_};
  }
  void produced(uint32_t n) { write_ = (write_ + n) & kMask; }

 private:
  static constexpr uint32_t kMask = kRingSize - 1;
  static_assert((kRingSize & kMask) == 0, "the indices wrap by masking");

  uint32_t read_ = 0;
  uint32_t write_ = 0;
  std::array<uint8_t, kRingSize> bytes_{};
};

}  // namespace zelt::net
