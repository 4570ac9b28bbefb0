#include "audio/volume_law.h"

#include <algorithm>
#include <cmath>

namespace zelt::audio {

int32_t volume_to_db(int32_t volume) {
  const float x = static_cast<float>(std::clamp(volume, 0, 100)) / 100.0f;
  if (x <= 0.002f) return kSilence;
  return static_cast<int32_t>(3322.0f * std::log10(x));
}

int32_t volume_from_db(int32_t db) {
  if (db <= kSilence) return 0;
  const float exponent = static_cast<float>(db) / 33.22f / 100.0f;
  return static_cast<int32_t>(100.0 * std::pow(10.0, static_cast<double>(exponent)));
}

int32_t pan_to_db(int32_t pan) {
  pan = std::clamp(pan, -100, 100);
  const float x = 1.0f - static_cast<float>(std::abs(pan)) / 100.0f;
  const int32_t d = x <= 0.002f ? kSilence : static_cast<int32_t>(3322.0f * std::log10(x));
  return pan <= 0 ? d : -d;
}

int32_t pan_from_db(int32_t db) {
  const double magnitude = std::abs(static_cast<double>(db));
  const int32_t c = static_cast<int32_t>((1.0 - std::pow(10.0, -magnitude / 3322.0)) * 100.0);
  return db < 0 ? -c : c;
}

uint32_t clamp_frequency(int32_t hz) {
  const uint32_t u = static_cast<uint32_t>(hz);
  if (u == 0) return 0;
  return std::clamp<uint32_t>(u, 100, 100000);
}

float db_gain(int32_t db) {
  if (db <= kSilence) return 0.0f;
  return static_cast<float>(std::pow(10.0, std::min(db, 0) / 2000.0));
}

void channel_gains(int32_t volume_db, int32_t pan_db, float& left, float& right) {
  const float g = db_gain(volume_db);
  // Pan attenuates one side only: negative pans the right, positive the left.
  left = g * (pan_db > 0 ? db_gain(-pan_db) : 1.0f);
  right = g * (pan_db < 0 ? db_gain(pan_db) : 1.0f);
}

}  // namespace zelt::audio
