#include "gfx/p3d/p3d.h"

#include <array>
#include <vector>

#include "files/exp_file.h"

namespace zelt::gfx {
namespace {

std::array<std::unique_ptr<Model>, kP3dModelSlots> g_models;
std::unique_ptr<P3dScene> g_scene;

bool identity_in_range(uint32_t model) { return model >= 1 && model <= kP3dModelSlots; }

// The bytes a model file needs, read sequentially: the counts first, then
// at most what they announce (a short file reads as zeros beyond its end).
bool read_model_file(std::string_view name, std::vector<uint8_t>& bytes) {
  files::ExpFile* file = files::OpenExpFile(name);
  if (!file) return false;
  auto read_up_to = [&](size_t want) {
    while (bytes.size() < want) {
      uint8_t buffer[16384];
      uint32_t got = 0;
      const uint32_t ask = static_cast<uint32_t>(std::min(want - bytes.size(), sizeof buffer));
      if (!files::exp_read(file, buffer, ask, &got) || got == 0) return;
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
  };
  read_up_to(4);
  if (bytes.size() == 4) read_up_to(model_file_size(bytes[0] | bytes[1] << 8, bytes[2] | bytes[3] << 8));
  files::exp_close(file);
  return true;
}

void reset_all() {
  for (auto& m : g_models) m.reset();
  g_scene.reset();
}

}  // namespace

P3dScene& p3d_scene() {
  if (!g_scene) g_scene = std::make_unique<P3dScene>();
  return *g_scene;
}

const Model* p3d_model(uint32_t model) { return identity_in_range(model) ? g_models[model - 1].get() : nullptr; }

int32_t p3d_init(uint32_t plane, float focal, float near_distance) {
  p3d_uninit();
  p3d_scene().init(plane_get(plane) ? static_cast<int32_t>(plane) : -1, focal, near_distance);
  return 1;
}

int32_t p3d_uninit() {
  for (auto& m : g_models) m.reset();
  p3d_scene().release();
  return 1;
}

uint32_t p3d_load(std::string_view name) {
  uint32_t slot = 0;
  while (slot < kP3dModelSlots && g_models[slot]) ++slot;
  if (slot == kP3dModelSlots) return 0;
  std::vector<uint8_t> bytes;
  if (!read_model_file(name, bytes)) return 0;
  g_models[slot] = model_parse(bytes);
  return g_models[slot] ? slot + 1 : 0;
}

int32_t p3d_free(uint32_t model) {
  if (!identity_in_range(model)) return 0;
  g_models[model - 1].reset();
  return 1;
}

uint32_t p3d_tex(uint32_t plane) { return plane_get(plane) ? texture_identity(plane) : 0; }

int32_t p3d_material(uint32_t model, uint32_t material, uint32_t colour, uint32_t texture, uint32_t type) {
  if (!identity_in_range(model) || type >= kP3dRenderTypes) return 0;
  Model* m = g_models[model - 1].get();
  if (m && material <= 255)
    model_set_material(*m, static_cast<uint8_t>(material), colour, texture, static_cast<uint8_t>(type));
  return 1;
}

int32_t p3d_clear() {
  p3d_scene().clear();
  return 1;
}

int32_t p3d_view(Vec3 eye, Vec3 angles) {
  p3d_scene().view(eye, angles);
  return 1;
}

int32_t p3d_env(Vec3 ambient) {
  p3d_scene().env(ambient);
  return 1;
}

int32_t p3d_light(Vec3 colour, uint32_t type, float a, float b, float c) {
  p3d_scene().light(type, colour, a, b, c);
  return 1;
}

int32_t p3d_setobj(uint32_t model, Vec3 pos, Vec3 angles) {
  if (!identity_in_range(model)) return 0;
  if (const Model* m = g_models[model - 1].get()) p3d_scene().add_object(*m, pos, angles);
  return 1;
}

int32_t p3d_render() {
  p3d_scene().render();
  return 1;
}

const Subsystem kP3dSubsystem{.name = "p3d", .stop = reset_all, .reset = reset_all};

}  // namespace zelt::gfx
