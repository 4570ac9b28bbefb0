#include "files/exp_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "core/messages.h"
#include "files/atomic_file.h"
#include "files/host_path.h"
#include "files/lzw.h"

namespace zelt::files {

struct ExpFile {
  int kind = 0;  // 1: decompressed into memory; 0: reads go to the fast file
  // kind 1: the bytes the stream produced; the rest of the announced size
  // reads as zeros without being stored.
  std::unique_ptr<uint8_t[], lzw::FreeDeleter> data;
  uint32_t produced = 0;
  uint32_t position = 0;
  uint32_t size = 0;
  FastFile* fast = nullptr;  // kind 0
};

namespace {

constexpr int kPlain = 0;
constexpr int kDecompressed = 1;

// The bit reader's input; context points at the FastFile* it reads.
size_t read_fast(void* context, uint8_t* buffer, size_t size) {
  uint32_t got = 0;
  if (!fast_read(*static_cast<FastFile**>(context), buffer, static_cast<uint32_t>(size), &got)) return 0;
  return got;
}

// Reads up to count bytes (fewer only at the end).
uint32_t read_up_to(FastFile* f, uint8_t* buffer, uint32_t count) {
  uint32_t total = 0;
  while (total < count) {
    uint32_t got = 0;
    if (!fast_read(f, buffer + total, count - total, &got) || got == 0) break;
    total += got;
  }
  return total;
}

}  // namespace

ExpFile* OpenExpFile(std::string_view path) {
  std::unique_ptr<ExpFile> e(new (std::nothrow) ExpFile);
  if (!e) {
    report(kLevelFile, Msg::ExpFileNoMemory);
    return nullptr;
  }
  FastFile* f = nullptr;
  lzw::BitReader reader(read_fast, &f);
  if (!reader.valid()) {
    report(kLevelFile, Msg::ExpInputBuffer);
    return nullptr;
  }
  f = OpenFastFile(path);
  if (!f) return nullptr;

  uint8_t header[lzw::kHeaderSize];
  const uint32_t got = read_up_to(f, header, sizeof header);
  if (got < 4 || !lzw::has_magic(header)) {
    // A plain file (also one shorter than the magic): read it from the start.
    if (fast_seek(f, 0, kFileBegin) != 0) {
      fast_close(f);
      if (!(f = OpenFastFile(path))) return nullptr;
    }
    e->kind = kPlain;
    e->fast = f;
    return e.release();
  }
  if (got < sizeof header) {
    fast_close(f);
    return nullptr;
  }

  e->kind = kDecompressed;
  e->size = lzw::header_size_field(header);
  // An empty file holds just the header; it opens as empty.
  if (e->size > 0) {
    lzw::Decoded decoded;
    const int32_t compressed = fast_size(f);
    const lzw::DecodeStatus status =
        lzw::decode(reader, e->size, compressed > 0 ? static_cast<uint64_t>(compressed) : 0, decoded);
    if (status == lzw::DecodeStatus::kNoDictionary) report(kLevelFile, Msg::ExpDictionary);
    if (status != lzw::DecodeStatus::kOk) {
      fast_close(f);
      return nullptr;
    }
    e->data = std::move(decoded.data);
    e->produced = decoded.produced;
  }
  fast_close(f);
  return e.release();
}

int exp_close(ExpFile* e) {
  if (!e) return 0;
  if (e->kind == kPlain) fast_close(e->fast);
  delete e;
  return 1;
}

int exp_read(ExpFile* e, void* buffer, uint32_t count, uint32_t* got) {
  if (!e || !buffer) return 0;
  if (e->kind == kPlain) return fast_read(e->fast, buffer, count, got);
  const uint32_t n = std::min(count, e->size - e->position);
  auto* out = static_cast<uint8_t*>(buffer);
  const uint32_t stored = e->position < e->produced ? std::min(n, e->produced - e->position) : 0;
  if (stored > 0) std::memcpy(out, e->data.get() + e->position, stored);
  if (n > stored) std::memset(out + stored, 0, n - stored);
  e->position += n;
  if (got) *got = n;
  return 1;
}

int32_t exp_seek(ExpFile* e, int32_t distance, int origin) {
  if (!e) return -1;
  if (e->kind == kPlain) return fast_seek(e->fast, distance, origin);
  int64_t target;
  switch (origin) {
    case kFileBegin: target = distance; break;
    case kFileCurrent: target = int64_t{e->position} + distance; break;
    case kFileEnd: target = int64_t{e->size} + distance; break;
    default: return static_cast<int32_t>(e->position);
  }
  if (target < 0 || target > int64_t{e->size}) return -1;
  e->position = static_cast<uint32_t>(target);
  return static_cast<int32_t>(e->position);
}

int32_t exp_size(ExpFile* e) {
  if (!e) return -1;
  if (e->kind == kPlain) return fast_size(e->fast);
  return static_cast<int32_t>(e->size);
}

namespace {

bool write_to_file(void* context, const uint8_t* data, size_t size) {
  return static_cast<AtomicFile*>(context)->write(data, size);
}

}  // namespace

// The file is written under a temporary name and replaces an existing one
// only when complete, so a failed write keeps the previous file.
int write_compressed(std::string_view script_path, const void* data, uint32_t size) {
  const std::string path(script_path.substr(0, script_path.find('\0')));
  AtomicFile file;
  lzw::BitWriter writer(write_to_file, &file);
  if (!writer.valid()) {
    report(kLevelFile, Msg::ExpOutputBuffer);
    return 0;
  }
  if (!file.open(host_path(path))) {
    report_message(kLevelFile, msg_text(Msg::ExpCreateFailed), path.c_str());
    return 0;
  }
  bool ok = true;
  for (uint8_t b : lzw::kMagic) ok = ok && writer.write(b, 8);
  ok = ok && writer.write(size, 32);
  if (ok && data && size > 0) {
    switch (lzw::encode(writer, static_cast<const uint8_t*>(data), size)) {
      case lzw::EncodeStatus::kOk: break;
      case lzw::EncodeStatus::kNoDictionary:
        report(kLevelFile, Msg::ExpDictionary);
        return 0;
      case lzw::EncodeStatus::kWriteFailed: ok = false; break;
    }
  }
  if (!ok) {
    report(kLevelFile, Msg::ExpBitWrite);
    return 0;
  }
  if (!writer.finish() || !file.commit()) {
    report(kLevelFile, Msg::ExpWriteFailed);
    return 0;
  }
  return 1;
}

}  // namespace zelt::files
