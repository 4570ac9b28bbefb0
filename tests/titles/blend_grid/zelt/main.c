#include "zelt.h"

int desc[3];
int info[6];
int src[4];
int dst[4];

int main() {
  int x; int y; int m; int cx; int cy; int *row; char *b;
  // The backdrop: a grey ramp down, colour stripes across.
  for (y = 0; y < 120; y++) gfill(0, 0, y, 192, 1, 0xFF000000 | y * 2 * 0x010101);
  for (x = 0; x < 192; x = x + 16) gfill(0, x, 0, 4, 120, 0xFF20C0FF - x * 0x010000);
  // A 32-bit source: hues across, its alpha rising from left to right.
  galloc(1, 28, 16, 32);
  ginfo(1, info);
  for (y = 0; y < 16; y++) {
    row = info[3] + y * info[4];
    for (x = 0; x < 28; x++) row[x] = x * 9 << 24 | hsvtorgb(x * 73 << 16 | 255 << 8 | 255 - y * 8);
  }
  // An 8-bit coverage source for mode 24 (paint through coverage).
  galloc(2, 28, 16, 8);
  ginfo(2, info);
  for (y = 0; y < 16; y++) {
    b = info[3] + y * info[4];
    for (x = 0; x < 28; x++) b[x] = (x * 9 + y * 7) & 255;
  }
  for (m = 0; m < 36; m++) {
    cx = m % 6 * 32; cy = m / 6 * 20;
    desc[0] = m | 5 << 8 | 200 << 16 | 100 << 24;  // channel mask 5, alpha 200, parameter 100
    desc[1] = 0x00FFFF;                            // key colour
    desc[2] = 0x3080FF;                            // paint colour
    if (m % 3 == 0) {
      gcopy(0, cx + 2, cy + 2, m == 24 ? 2 : 1, 0, desc);
    } else {
      dst[0] = cx + 2; dst[1] = cy + 2; dst[2] = cx + 30; dst[3] = cy + 18;
      if (m % 3 == 1) gblit(0, dst, m == 24 ? 2 : 1, 0, desc, 100);
      else gblita(0, dst, m == 24 ? 2 : 1, 0, desc, -150);
    }
  }
  update(0);
  exit();
}
