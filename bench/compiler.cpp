// Compile speed: the complete two-pass compilation (measure, then emit into
// an image of the measured size) of a generated script of about 100,000
// lines with many functions, expressions, loops, structs and strings.
// Reports lines per second; the aim is at least one million.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/config.h"
#include "script/compiler/compiler.h"
#include "script/vm/context.h"

namespace {

std::string g_source;
int g_lines = 0;

zelt::SourceStatus serve_source(std::string_view, std::vector<uint8_t>& text) {
  text.assign(g_source.begin(), g_source.end());
  return zelt::kSourceRead;
}

// Appends one line made of the given pieces.
void add(std::string& out, std::initializer_list<std::string_view> pieces) {
  for (std::string_view p : pieces) out += p;
  out += '\n';
  ++g_lines;
}

// About 100,000 lines: 40 per function, 2,500 functions.
std::string generate(int functions) {
  std::string s;
  add(s, {"// generated benchmark script"});
  add(s, {"#define LIMIT 1000"});
  add(s, {"#define SCALE(x, k) ((x) * (k) + 1)"});
  add(s, {"struct Item { int count; float weight; char name[16]; struct Item *next; };"});
  add(s, {"struct Item items[64];"});
  add(s, {"int table[256];"});
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    add(s, {"int g", n, " = ", n, ";"});
  }
  add(s, {"int text_length(char *p) { int n; n = 0; while (*p++) n++; return n; }"});
  for (int k = 0; k < functions; ++k) {
    const std::string f = std::string("f").append(std::to_string(k));
    const std::string g = std::string("g").append(std::to_string(k % 200));
    add(s, {"int ", f, "(int a, int b) {"});
    add(s, {"  int i, j, s;"});
    add(s, {"  char *msg;"});
    add(s, {"  struct Item *it;"});
    add(s, {"  s = 0;"});
    add(s, {"  msg = \"", f, " item\";"});
    add(s, {"  for (i = 0; i < a; i++) {"});
    add(s, {"    s += i * b + (i & 3) - (s >> 2);"});
    add(s, {"    if (s > LIMIT) s -= LIMIT;"});
    add(s, {"    else if (s < 0) s = -s;"});
    add(s, {"    table[i & 255] = SCALE(s, 3);"});
    add(s, {"  }"});
    add(s, {"  j = 0;"});
    add(s, {"  while (j < 10) {"});
    add(s, {"    j++;"});
    add(s, {"    if (j == b || (s & 1) && j > 5) break;"});
    add(s, {"  }"});
    add(s, {"  switch (a & 3) {"});
    add(s, {"    case 0: s += 1; break;"});
    if (k > 0)
      add(s, {"    case 1: s += f", std::to_string(k - 1), "(a - 1, b); break;"});
    else
      add(s, {"    case 1: s += 2; break;"});
    add(s, {"    case 2:"});
    add(s, {"    case 3: s ^= 0x55; break;"});
    add(s, {"    default: s = 0;"});
    add(s, {"  }"});
    add(s, {"  it = &items[", std::to_string(k % 64), "];"});
    add(s, {"  it->count = it->count + s;"});
    add(s, {"  it->weight = it->weight * 0.5 + a;"});
    add(s, {"  it->name[a & 15] = 'a' + (s % 26);"});
    add(s, {"  ", g, " = ", g, " + s / (b | 1);"});
    add(s, {"  do {"});
    add(s, {"    s = s * 3 + 1;"});
    add(s, {"  } while (s < 100);"});
    add(s, {"  if (it->next != 0 && it->next->count > s)"});
    add(s, {"    s = it->next->count;"});
    add(s, {"  /* a comment line between statements */"});
    add(s, {"  s = s > 0 ? s : -s;"});
    add(s, {"  s = s + text_length(msg);"});
    add(s, {"  return s;"});
    add(s, {"}"});
    add(s, {""});
  }
  add(s, {"void main() { f", std::to_string(functions - 1), "(3, 4); }"});
  return s;
}

void BM_CompileTwoPasses(benchmark::State& state) {
  if (g_source.empty()) g_source = generate(2500);
  zelt::config_defaults();
  zelt::set_source_reader(serve_source);
  for (auto _ : state) {
    zelt::CompileResult measure;
    if (!zelt::compile_script("bench.c", 0, 0, {}, &measure)) {
      state.SkipWithError(("does not compile: " + measure.report).c_str());
      break;
    }
    const zelt::ProgramImage image = zelt::program_image_create(measure.code_size + measure.data_size);
    zelt::CompileResult result;
    const int ok = zelt::compile_script("bench.c", image.base, image.size, {}, &result);
    zelt::program_image_release(image);
    if (!ok) {
      state.SkipWithError("the emitting pass failed");
      break;
    }
    benchmark::DoNotOptimize(result.code_size);
  }
  zelt::set_source_reader(nullptr);
  state.counters["lines"] = g_lines;
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(g_lines) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
  state.counters["bytes/s"] = benchmark::Counter(static_cast<double>(g_source.size()) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CompileTwoPasses)->Unit(benchmark::kMillisecond);

}  // namespace
