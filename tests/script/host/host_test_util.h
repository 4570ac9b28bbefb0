// Script-level tests of the host: sources served from memory, compiled by
// the real compiler, started as the entry script on real script threads,
// with the real built-in dispatcher. Scripts include "zelt.h", which is the
// built-in header followed by three test built-ins:
//   317 extra()      one built-in too many (reaches the dispatcher)
//   318 out(int)     records the value
//   319 outs(char*)  records the string
// The test trap handler takes 318 and 319 and passes every other number on
// to builtin_dispatch.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "builtins/builtin_table.h"
#include "builtins/handlers.h"
#include "core/app.h"
#include "core/close_request.h"
#include "core/config.h"
#include "core/messages.h"
#include "script/compiler/compiler.h"
#include "script/compiler/extern_functions.h"
#include "script/host/builtin_call.h"
#include "script/host/host.h"
#include "script/vm/extern_area.h"
#include "script/vm/interpreter.h"

namespace zelt::hosttest {

inline constexpr uint16_t kOut = 318;
inline constexpr uint16_t kOuts = 319;
inline constexpr const char* kTestTraps = "#trap\nint extra();\n#trap\nint out(int v);\n#trap\nint outs(char *s);\n";

struct Recorded {
  std::mutex mutex;
  std::vector<std::string> outputs;
  std::vector<std::string> messages;
  std::map<std::string, std::string> sources;
  int reads = 0;
};

inline Recorded& recorded() {
  static Recorded r;
  return r;
}

inline SourceStatus memory_reader(std::string_view path, std::vector<uint8_t>& text) {
  Recorded& r = recorded();
  std::lock_guard lock(r.mutex);
  ++r.reads;
  const auto it = r.sources.find(std::string(path));
  if (it == r.sources.end()) return kSourceCannotOpen;
  text.assign(it->second.begin(), it->second.end());
  return kSourceRead;
}

inline int record_message(std::string_view text, std::string_view) {
  Recorded& r = recorded();
  std::lock_guard lock(r.mutex);
  r.messages.emplace_back(text);
  return kIdOk;
}

inline void test_trap(ScriptContext& context, uint16_t number) {
  if (number != kOut && number != kOuts) {
    builtin_dispatch(context, number);
    return;
  }
  const BuiltinArgs args = BuiltinArgs::of(context);
  std::string text;
  if (number == kOut) {
    text = std::to_string(args.i32(0));
  } else {
    std::string_view s;
    text = args.str(0, s, 4096) ? std::string(s) : "<bad string>";
  }
  Recorded& r = recorded();
  std::lock_guard lock(r.mutex);
  r.outputs.push_back(text);
  context.r[0] = 0;
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_defaults();
    config().StackSize = 16384;
    config().HeapSize = 65536;
    app().script_folder.clear();
    {
      Recorded& r = recorded();
      std::lock_guard lock(r.mutex);
      r.outputs.clear();
      r.messages.clear();
      r.sources.clear();
      r.sources["zelt.h"] = builtin_header() + kTestTraps;
      r.reads = 0;
    }
    set_source_reader(memory_reader);
    set_message_sink(record_message);
    extern_area_allocate(config().HeapSize);
    extern_functions_clear();
    builtin_dispatch_install(builtin_entries());
    vm_set_trap_handler(test_trap);
    script_threads_reset();
    baseline_blocks_ = script_memory().stats().live_blocks;
  }

  void TearDown() override {
    script_threads_stop();
    EXPECT_EQ(script_memory().stats().live_blocks, baseline_blocks_) << "contexts or images were not freed";
    extern_area_free();
    extern_functions_clear();
    vm_set_trap_handler(nullptr);
    set_source_reader(nullptr);
    set_message_sink(nullptr);
    clear_close_request();
    config_defaults();
  }

  // A fresh host for the next run inside one test.
  void restart() {
    TearDown();
    SetUp();
  }

  // A source file; "#include \"zelt.h\"" goes before the text.
  void add(const std::string& name, const std::string& text) {
    Recorded& r = recorded();
    std::lock_guard lock(r.mutex);
    r.sources[name] = "#include \"zelt.h\"\n" + text;
  }

  // Starts `text` as main.c, the entry script, and waits until no script
  // thread runs any more. False when it could not be started.
  bool run(const std::string& text) {
    add("main.c", text);
    config().Load = "main.c";
    if (!script_start_entry()) return false;
    wait_until_idle();
    return true;
  }

  // Waits (as the main loop does) until every script thread has ended. A
  // run that does not end is a hang: the test binary stops with a message
  // rather than blocking the suite.
  static void wait_until_idle() {
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (script_threads_running() > 0) {
      if (std::chrono::steady_clock::now() >= guard) {
        std::fprintf(stderr, "script threads still running after 60 s: a hang\n");
        std::abort();
      }
      wait_main_loop(std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
    }
  }

  static std::vector<std::string> outputs() {
    Recorded& r = recorded();
    std::lock_guard lock(r.mutex);
    return r.outputs;
  }
  static std::vector<std::string> messages() {
    Recorded& r = recorded();
    std::lock_guard lock(r.mutex);
    return r.messages;
  }
  static int reads() {
    Recorded& r = recorded();
    std::lock_guard lock(r.mutex);
    return r.reads;
  }

  uint64_t baseline_blocks_ = 0;
};

using Lines = std::vector<std::string>;

}  // namespace zelt::hosttest
