#include "zelt.h"

int info[6];
int mode[3];
int changed[4];
int *kids[4];

// A 32-bit picture with alpha: a ring of colour round a clear centre.
void picture(int plane, int size) {
  int x; int y; int d; int *row;
  galloc(plane, size, size, 32);
  ginfo(plane, info);
  for (y = 0; y < size; y++) {
    row = info[3] + y * info[4];
    for (x = 0; x < size; x++) {
      d = (2 * x + 1 - size) * (2 * x + 1 - size) + (2 * y + 1 - size) * (2 * y + 1 - size);
      if (d < size * size && d > size * size / 4) row[x] = 0xFF000000 | x * 255 / size << 16 | y * 255 / size << 8 | 0x60;
      else if (x < size / 3) row[x] = 0x80FFFFFF;
      else row[x] = 0;
    }
  }
}

int main() {
  int f; int i; int *a; int *b; int *c; int *p;
  galloc(1, 160, 120, 16);
  for (i = 0; i < 120; i = i + 8) gfill(1, 0, i, 160, 8, (i & 8) ? 0xFF203050 : 0xFF304060);
  picture(2, 16);
  picture(3, 24);
  mode[0] = 7 | 255 << 16;
  sp_setbg(1);
  a = sp_set(0, 2, 20, 96, 2, 0, mode); a[1] = 1;            // mirrored across
  b = sp_set(0, 2, 60, 30, 3, 0, mode); b[6] = 12; b[7] = 12; b[8] = 0x18000; b[9] = 0xC000;
  c = sp_set(1, 2, 110, 40, 3, 0, mode); c[6] = 12; c[7] = 12; c[0] = c[0] | 0x100000;  // filtered
  p = sp_set(1, 2, 80, 85, 2, 0, mode); p[6] = 8; p[7] = 8;
  for (i = 0; i < 4; i++) {
    kids[i] = sp_set(1, 2, tcos(i * 512) * 22 >> 16, tsin(i * 512) * 22 >> 16, 2, 0, mode);
    kids[i][6] = 8; kids[i][7] = 8; kids[i][8] = 0x8000; kids[i][9] = 0x8000;
    sp_link(p, kids[i]);
  }
  for (f = 0; f < 40; f++) {
    a[4] = 20 + f * 2;
    b[12] = f * 37 & 2047;
    c[12] = -f * 29 & 2047; c[8] = 0x10000 + f * 0x400; c[9] = c[8];
    p[4] = 80 - f; p[12] = f * 51 & 2047;
    sp_draw(-1, changed);
    update(changed);
  }
  exit();
}
