// The 3D built-ins called from scripts: float arguments and records read
// from script memory, a whole frame, and addresses that are not usable.
#include "builtins/graphics_script_cases.h"
#include "gfx/p3d/p3d.h"
#include "gfx/p3d/p3d_fixture.h"
#include "support/temp_dir.h"

namespace zelt::hosttest {
namespace {

const char* kGlobals = "int b; int m; int r; float *e; float *a; int *rec; float *lt;\n";
// e: a position, a: angles, rec: a material record, lt: a light record.
const char* kPrelude =
    "b = malloc(64); e = b; a = b + 12; rec = b + 24; lt = b + 36; galloc(1, 16, 16, 32);\n"
    "  e[0] = 0.0; e[1] = 0.0; e[2] = 0.0; a[0] = 0.0; a[1] = 0.0; a[2] = 0.0;";
const char* kEpilogue = "free(b);";

class P3dBuiltins : public GraphicsScriptCases {
 protected:
  void SetUp() override {
    GraphicsScriptCases::SetUp();
    gfx::kP3dSubsystem.reset();
    dir_.write("quad.dat", test::model_file(test::quad(2)));
  }
  void TearDown() override {
    gfx::kP3dSubsystem.reset();
    GraphicsScriptCases::TearDown();
  }
  test::TempDir dir_;
  test::ScopedCwd cwd_{dir_.path()};
};

TEST_F(P3dBuiltins, AFrameFromAScript) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"init", "out(p3d_init(1, 8.0, 1.0, 0.0));", "1"},
                {"load", "m = p3d_load(\"QUAD.DAT\"); out(m);", "1"},
                {"load of a missing file", "out(p3d_load(\"none.dat\"));", "0"},
                {"material", "rec[0] = 0xFF80FF; rec[1] = 0; rec[2] = 0; out(p3d_material(m, 0, rec));", "1"},
                {"texture identities", "out(p3d_tex(1) * 10 + p3d_tex(99));", "20"},
                {"a frame",
                 "r = p3d_clear(); r = r + p3d_view(e, a); r = r + p3d_env(0.5, 1.0, 1.0); e[2] = 4.0;\n"
                 "  r = r + p3d_setobj(m, e, a); r = r + p3d_render(); out(r * 100000000 + getpixel(1, 8, 8));",
                 "516744576"},  // 0xFF8080: the first ambient component, 0.5, lights blue
                {"outside the square", "out(getpixel(1, 3, 8));", "0"},
                {"a light", "lt[0] = 1.0; lt[1] = 1.0; lt[2] = 1.0; rec = lt + 12; rec[0] = 1; "
                            "out(p3d_light(lt, 0.0, 0.0, 0.0));", "1"},
                {"free and uninit", "out(p3d_free(m) * 10 + p3d_uninit());", "11"},
            });
}

TEST_F(P3dBuiltins, UnusableAddressesFailWithoutAFault) {
  run_cases(kGlobals, kPrelude, kEpilogue,
            {
                {"load", "out(p3d_load(16) + p3d_load(0xFFFFFFF0));", "0"},
                {"view", "out(p3d_view(16, a) + p3d_view(e, 0xFFFFFFF8));", "0"},
                {"light", "out(p3d_light(16, 0.0, 0.0, 0.0) + p3d_light(0xFFFFFFF4, 0.0, 0.0, 0.0));", "0"},
                {"material", "p3d_init(1, 8.0, 1.0, 0.0); m = p3d_load(\"quad.dat\"); out(p3d_material(m, 0, 16));",
                 "0"},
                {"setobj", "out(p3d_setobj(m, 0, a) + p3d_setobj(m, e, 0xFFFFFFFC));", "0"},
                {"a record reaching past the end of memory", "out(p3d_material(m, 0, 0xFFFEFFF8));", "0"},
            });
}

}  // namespace
}  // namespace zelt::hosttest
