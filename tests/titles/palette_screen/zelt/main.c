#include "zelt.h"

int pal[256];
char font[48];
int rc[4];

int main() {
  int i; int *f;
  for (i = 0; i < 256; i++) {  // every palette index
    rc[0] = i % 32 * 5; rc[1] = i / 32 * 4; rc[2] = rc[0] + 5; rc[3] = rc[1] + 4;
    gclear(0, rc, i);
  }
  gtext(0, 4, 36, 0xFF, "Sharp 8-bit");
  memset(font, 0, 48); strcpy(font, "Arial"); f = font; f[8] = -18; f[10] = 16;
  font_set(1, font);
  font_use(1);
  gtext(0, 4, 60, 0, "Smooth coverage");
  // Entries 0 to 254: a ramp from dark blue to warm white; 255 stays white.
  for (i = 0; i < 255; i++) pal[i] = hsvtorgb(1400 - i * 3 << 16 | 255 - i << 8 | 40 + i * 215 / 254);
  pal_sets(0, 255, pal);
  pal_change();
  // Then the first 32 entries turn by 8, as a cycling effect would.
  for (i = 0; i < 32; i++) pal_set(i, pal[(i + 8) % 32]);
  pal_change();
  update(0);
  exit();
}
