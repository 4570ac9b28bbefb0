// Arbitrary bytes as a compressed stream (the first four bytes announce the
// size), and as data that must survive compression and decompression.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/lzw.h"
#include "fuzz_check.h"

namespace {

namespace lzw = zelt::files::lzw;

using zelt::fuzz::check;

bool append(void* context, const uint8_t* data, size_t size) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), size);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 4) {
    const uint32_t announced = uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3];
    lzw::MemorySource source{data + 4, size - 4};
    lzw::BitReader reader(lzw::MemorySource::read, &source);
    lzw::Decoded decoded;
    const lzw::DecodeStatus status = lzw::decode(reader, announced, size, decoded);
    check(decoded.produced <= announced, "never more than announced");
    if (status == lzw::DecodeStatus::kOk && decoded.produced > 0) {
      // Touch every byte produced, so the sanitizers see any bad one.
      unsigned sum = 0;
      for (uint32_t i = 0; i < decoded.produced; ++i) sum += decoded.data[i];
      (void)sum;
    }
  }

  if (size == 0) return 0;
  std::string compressed;
  {
    lzw::BitWriter writer(append, &compressed);
    check(lzw::encode(writer, data, size) == lzw::EncodeStatus::kOk, "encodes");
    check(writer.finish(), "finishes");
  }
  lzw::MemorySource source{reinterpret_cast<const uint8_t*>(compressed.data()), compressed.size()};
  lzw::BitReader reader(lzw::MemorySource::read, &source);
  lzw::Decoded decoded;
  check(lzw::decode(reader, static_cast<uint32_t>(size), compressed.size(), decoded) == lzw::DecodeStatus::kOk,
        "decodes its own output");
  check(decoded.ended, "ends with the end code");
  check(decoded.produced == size && std::memcmp(decoded.data.get(), data, size) == 0, "round trip");
  return 0;
}
