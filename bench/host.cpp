// Whole scripts through the compiler and the host, as a title runs them:
// each iteration compiles the script, starts it as the entry script on a
// script thread and waits until it has ended. The figures to compare with
// other script engines (Lua 5.4, LuaJIT) running the same programs.
//   TightLoop        100 million iterations of an add and a compare
//   Fib30            recursive fib(30): 1.6 million script calls
//   BuiltinCalls     10 million calls of a cheap built-in (abs)
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "builtins/builtin_table.h"
#include "builtins/handlers.h"
#include "core/app.h"
#include "core/close_request.h"
#include "core/config.h"
#include "script/compiler/compiler.h"
#include "script/compiler/extern_functions.h"
#include "script/host/host.h"
#include "script/vm/extern_area.h"

namespace zelt {
namespace {

std::map<std::string, std::string, std::less<>>& sources() {
  static std::map<std::string, std::string, std::less<>> files;
  return files;
}

zelt::SourceStatus memory_reader(std::string_view path, std::vector<uint8_t>& text) {
  const auto it = sources().find(path);
  if (it == sources().end()) return zelt::kSourceCannotOpen;
  text.assign(it->second.begin(), it->second.end());
  return zelt::kSourceRead;
}

const char* const kTightLoop =
    "int main() { int i, s; s = 0;\n"
    "  for (i = 0; i < 100000000; i++) s = s + i;\n"
    "  return s; }\n";

const char* const kFib =
    "int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }\n"
    "int main() { return fib(30); }\n";

const char* const kBuiltinCalls =
    "int main() { int i, s; s = 0;\n"
    "  for (i = 0; i < 10000000; i++) s = s + abs(i);\n"
    "  return s; }\n";

void run_script(benchmark::State& state, const char* body) {
  config_defaults();
  app().script_folder.clear();
  sources()["zelt.h"] = builtin_header();
  sources()["main.c"] = std::string("#include \"zelt.h\"\n") + body;
  config().Load = "main.c";
  set_source_reader(memory_reader);
  extern_area_allocate(config().HeapSize);
  extern_functions_clear();
  builtin_dispatch_install(builtin_entries());
  script_threads_reset();
  for (auto _ : state) {
    if (!script_start_entry()) {
      state.SkipWithError("the script did not compile");
      break;
    }
    while (script_threads_running() > 0)
      wait_main_loop(std::chrono::steady_clock::now() + std::chrono::seconds(1));
  }
  script_threads_stop();
  extern_area_free();
  set_source_reader(nullptr);
}

void TightLoop(benchmark::State& state) { run_script(state, kTightLoop); }
void Fib30(benchmark::State& state) { run_script(state, kFib); }
void BuiltinCalls(benchmark::State& state) { run_script(state, kBuiltinCalls); }

BENCHMARK(TightLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Fib30)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BuiltinCalls)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace zelt
