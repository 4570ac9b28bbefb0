// Archive member opens and LZW throughput.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "files/archive_directory.h"
#include "files/archive_format.h"
#include "files/fast_file.h"
#include "files/lzw.h"

namespace zelt {
namespace {

namespace fs = std::filesystem;
namespace lzw = files::lzw;

constexpr int kMembers = 10000;

std::string member_name(int i) {
  char name[48];
  std::snprintf(name, sizeof name, "img\\chara%02d\\pose%05d.bmp", i % 37, i);
  return name;
}

// A 10,000-member archive data.bin in a fresh folder, made the current
// directory; removed at exit.
struct ArchiveFolder {
  fs::path dir;
  std::vector<std::string> names;

  ArchiveFolder() {
    char templ[] = "/tmp/zelt-bench-XXXXXX";
    if (!mkdtemp(templ)) std::abort();
    dir = templ;
    for (int i = 0; i < kMembers; ++i) names.push_back(member_name(i));
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const std::string& a, const std::string& b) { return cp932::compare_nocase(a, b) < 0; });
    std::string table;
    std::vector<files::archive::DirEntry> entries(sorted.size());
    for (size_t i = 0; i < sorted.size(); ++i) {
      entries[i].name_offset = static_cast<uint32_t>(table.size());
      table += sorted[i] + '\0';
    }
    uint32_t at = static_cast<uint32_t>(20 + 12 * sorted.size() + table.size());
    for (auto& e : entries) {
      e.data_offset = at;
      e.size = 64;
      at += 64;
    }
    std::vector<uint8_t> bytes = files::archive::encode_head(42, entries, table);
    bytes.resize(at, 0x55);
    FILE* f = std::fopen((dir / "data.bin").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    fs::current_path(dir);
    // The archive was written just now; let the directory cache keep it.
    files::archive::set_directory_cache_racy_margin_for_testing(0);
  }
  ~ArchiveFolder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

ArchiveFolder& archive_folder() {
  static ArchiveFolder folder;
  return folder;
}

// One item: OpenFastFile of a member ("data\img\...": the plain file and
// the CD miss first), an 8-byte read, fast_close.
void BM_OpenArchiveMember(benchmark::State& state) {
  ArchiveFolder& folder = archive_folder();
  std::mt19937 rng(1);
  std::vector<std::string> paths;
  for (int i = 0; i < 4096; ++i) paths.push_back("data\\" + folder.names[rng() % kMembers]);
  size_t k = 0;
  char buffer[8];
  for (auto _ : state) {
    files::FastFile* f = files::OpenFastFile(paths[k++ & 4095]);
    uint32_t got = 0;
    files::fast_read(f, buffer, sizeof buffer, &got);
    benchmark::DoNotOptimize(got);
    files::fast_close(f);
  }
  state.counters["opens/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OpenArchiveMember);

// 4 MiB: a third text, a third a bitmap-like pattern, a third random bytes.
const std::vector<uint8_t>& mixed_data() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> d;
    std::mt19937 rng(3);
    static const char* const words[] = {"sprite ", "plane ", "int ", "return ", "(x, y);\r\n", "gload(", "if "};
    const size_t third = (size_t{4} << 20) / 3;
    while (d.size() < third) {
      for (const char* w = words[rng() % std::size(words)]; *w; ++w) d.push_back(static_cast<uint8_t>(*w));
    }
    // 24-bit rows of a 640-pixel image: gradients with a few shapes.
    for (size_t i = 0; i < third; ++i) {
      const size_t x = (i / 3) % 640, y = i / 1920;
      const bool shape = (x / 40 + y / 40) % 5 == 0;
      d.push_back(static_cast<uint8_t>(shape ? 0xFF : (i % 3 == 0 ? x / 3 : i % 3 == 1 ? y : 0x80)));
    }
    while (d.size() < (size_t{4} << 20)) d.push_back(static_cast<uint8_t>(rng()));
    return d;
  }();
  return data;
}

bool append(void* context, const uint8_t* data, size_t size) {
  static_cast<std::vector<uint8_t>*>(context)->insert(static_cast<std::vector<uint8_t>*>(context)->end(), data,
                                                      data + size);
  return true;
}

std::vector<uint8_t> compress(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  out.reserve(data.size());
  lzw::BitWriter writer(append, &out);
  lzw::encode(writer, data.data(), data.size());
  writer.finish();
  return out;
}

void BM_Compress(benchmark::State& state) {
  const std::vector<uint8_t>& data = mixed_data();
  size_t compressed = 0;
  for (auto _ : state) compressed = compress(data).size();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
  state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(data.size());
}
BENCHMARK(BM_Compress)->Unit(benchmark::kMillisecond);

void BM_Decompress(benchmark::State& state) {
  const std::vector<uint8_t>& data = mixed_data();
  const std::vector<uint8_t> compressed = compress(data);
  for (auto _ : state) {
    lzw::MemorySource source{compressed.data(), compressed.size()};
    lzw::BitReader reader(lzw::MemorySource::read, &source);
    lzw::Decoded decoded;
    lzw::decode(reader, static_cast<uint32_t>(data.size()), compressed.size(), decoded);
    if (decoded.produced != data.size()) state.SkipWithError("decompression lost data");
    benchmark::DoNotOptimize(decoded.data.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Decompress)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelt
