// Arbitrary model files: the reader never reads past the data, refuses a
// face naming a vertex beyond the count, and leaves every normal finite;
// materials then keep each vertex's flags the OR of its faces' flags.
//
// Input: byte 0 picks a material number and byte 1 a render type for it;
// the rest is the file.
#include <cstddef>
#include <cstdint>

#include "fuzz_input.h"
#include "gfx/p3d/model.h"

using namespace zelt::gfx;
using zelt::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t material = data[0], type = data[1] % kP3dRenderTypes;
  const auto model = model_parse({data + 2, size - 2});
  if (!model) return 0;
  for (const ModelFace& f : model->faces) {
    for (uint16_t i : f.index) check(i < model->vertices.size(), "index below the vertex count");
    check(finite(f.normal), "finite face normal");
  }
  for (const ModelVertex& v : model->vertices) check(finite(v.normal), "finite vertex normal");
  model_set_material(*model, material, 0xFFFFFF, 1, type);
  std::vector<uint8_t> flags(model->vertices.size());
  for (const ModelFace& f : model->faces)
    for (uint16_t i : f.index) flags[i] |= f.flags;
  for (size_t i = 0; i < flags.size(); ++i) check(model->vertices[i].flags == flags[i], "vertex flags");
  return 0;
}
