// Script-level case tables for the graphics built-ins: planes and palettes
// live in script memory, so every test starts and ends with none and with the
// default palettes.
#pragma once

#include "builtins/general_builtins_test_util.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"

namespace zelt::hosttest {

class GraphicsScriptCases : public ScriptCases {
 protected:
  void SetUp() override {
    gfx::planes_reset();
    gfx::palettes_reset();
    ScriptCases::SetUp();
  }
  void TearDown() override {
    gfx::planes_reset();
    gfx::palettes_reset();
    ScriptCases::TearDown();
  }
};

}  // namespace zelt::hosttest
