// A clean plane table and palettes for each test, shown messages captured
// (as UTF-8), and a check that every plane's script memory is given back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "core/script_memory.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {

inline std::vector<std::string>& shown_messages() {
  static std::vector<std::string> shown;
  return shown;
}

class PlaneFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    config_defaults();
    config().Error = 1;  // level-1 messages are shown, level 2 would not be
    shown_messages().clear();
    set_message_sink([](std::string_view text, std::string_view) {
      shown_messages().push_back(cp932::to_utf8(text));
      return kIdOk;
    });
    planes_reset();
    palettes_reset();
    baseline_blocks_ = script_memory().stats().live_blocks;
  }

  void TearDown() override {
    planes_reset();
    palettes_reset();
    EXPECT_EQ(script_memory().stats().live_blocks, baseline_blocks_) << "planes or buffers were not freed";
    set_palette_change_handler(nullptr);
    set_message_sink(nullptr);
    config_defaults();
  }

  static std::vector<std::string> shown() { return shown_messages(); }

  // The plane galloc put into slot, failing the test when there is none.
  static Plane& make(uint32_t slot, int32_t width, int32_t height, int32_t bits) {
    EXPECT_EQ(galloc(slot, width, height, bits), 1);
    Plane* plane = plane_get(slot);
    if (!plane) throw std::runtime_error("galloc failed");
    return *plane;
  }

  // One 32-bit value of script memory; freed by the caller.
  struct ScriptInt {
    ScriptAddr addr = script_memory().allocate_zeroed(4);
    ~ScriptInt() { script_memory().free(addr); }
    int32_t get() const {
      int32_t v;
      std::memcpy(&v, script_memory().host(addr), 4);
      return v;
    }
    void set(int32_t v) { std::memcpy(script_memory().host(addr), &v, 4); }
  };

  static uint32_t u32_at(ScriptAddr a) {
    uint32_t v;
    std::memcpy(&v, script_memory().span(a, 4).data(), 4);
    return v;
  }
  static uint16_t u16_at(ScriptAddr a) {
    uint16_t v;
    std::memcpy(&v, script_memory().span(a, 2).data(), 2);
    return v;
  }
  static void put_u32_at(ScriptAddr a, uint32_t v) { std::memcpy(script_memory().span(a, 4).data(), &v, 4); }

  uint64_t baseline_blocks_ = 0;
};

}  // namespace zelt::gfx
