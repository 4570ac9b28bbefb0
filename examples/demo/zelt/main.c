// The demo title's entry script: balls bounce over a painted background
// while a ring of stars turns and breathes around a sun, all of them
// sprites composed by sp_draw and shown with update. After about eight
// seconds it closes the program.
#include "zelt.h"

#define WIDTH 640
#define HEIGHT 360
#define BALLS 120
#define STARS 8
#define FRAMES 480

int *balls[BALLS];
int vx[BALLS];
int vy[BALLS];
int *sun;
int *stars[STARS];
int rect[4];
int mode[3];

// A filled disc of the given radius and colour on a clear 32-bit plane:
// one opaque row at a time, so the sprite's alpha is 255 inside, 0 outside.
void disc(int plane, int radius, int colour) {
  int y; int w;
  galloc(plane, radius * 2 + 1, radius * 2 + 1, 32);
  gclear(plane, 0, 0);
  for (y = -radius; y <= radius; y++) {
    w = 0;
    while ((w + 1) * (w + 1) + y * y <= radius * radius) w++;
    rect[0] = radius - w; rect[1] = radius + y; rect[2] = radius + w + 1; rect[3] = radius + y + 1;
    gclear(plane, rect, colour | 0xFF000000);
  }
}

// The background: a sky gradient in bands and a grid of faint lines.
void background(int plane) {
  int y; int x;
  galloc(plane, WIDTH, HEIGHT, 24);
  for (y = 0; y < HEIGHT; y = y + 8)
    gfill(plane, 0, y, WIDTH, 8, 0xFF000000 | (y * 100 / HEIGHT) << 16 | (40 + y * 80 / HEIGHT) << 8 | 120);
  for (x = 0; x < WIDTH; x = x + 40) gline(plane, x, 0, x, HEIGHT - 1, 0x40FFFFFF);
  for (y = 0; y < HEIGHT; y = y + 40) gline(plane, 0, y, WIDTH - 1, y, 0x40FFFFFF);
}

int main() {
  int i; int frame; int *b;
  background(2);
  disc(3, 10, 0xF04040);
  disc(4, 14, 0x40E060);
  disc(5, 26, 0xFFD040);
  disc(6, 7, 0xFFFFFF);
  sp_setbg(2);
  mode[0] = 0xFF0007;  // mode 7, source alpha, at strength 255

  for (i = 0; i < BALLS; i++) {
    balls[i] = sp_set(1, 2, rand() % (WIDTH - 30), rand() % (HEIGHT - 30), 3 + i % 2, 0, mode);
    vx[i] = rand() % 7 - 3;
    vy[i] = rand() % 5 - 2;
    if (vx[i] == 0) vx[i] = 2;
  }
  sun = sp_set(2, 2, WIDTH / 2, HEIGHT / 2, 5, 0, mode);
  sun[6] = 26; sun[7] = 26;  // hot spot: the centre
  for (i = 0; i < STARS; i++) {
    stars[i] = sp_set(2, 2, tcos(i * 2048 / STARS) * 60 / 65536, tsin(i * 2048 / STARS) * 60 / 65536, 6, 0, mode);
    stars[i][6] = 7; stars[i][7] = 7;
    sp_link(sun, stars[i]);
  }

  for (frame = 0; frame < FRAMES; frame++) {
    for (i = 0; i < BALLS; i++) {
      b = balls[i];
      if (b[4] + vx[i] < 0 || b[4] + vx[i] > WIDTH - 30) vx[i] = -vx[i];
      if (b[5] + vy[i] < 0 || b[5] + vy[i] > HEIGHT - 30) vy[i] = -vy[i];
      b[4] = b[4] + vx[i];
      b[5] = b[5] + vy[i];
    }
    // The sun turns; its scale breathes between 0.75 and 1.25.
    sun[12] = frame * 6 & 2047;  // the angle (the word's high half is computed)
    sun[8] = 65536 + tsin(frame * 16) / 4;
    sun[9] = sun[8];
    sp_draw(-1, rect);
    update(rect);
    sleep(16);
  }
  exit();
}
