// The moving sprites: a swarm of soft discs with a turning gem every eighth that changes
// its formation every 15 seconds (a minute for all four), and a sun that
// carries planets that carry moons (children of children). Every position
// is a function of the title time alone.

#define SWARM 336
#define PLANETS 6

#define P_DISC 10   // 10 to 13: four colours
#define P_GEM 14    // 14 and 15
#define P_SUN 16
#define P_PLANET 17
#define P_MOON 18

#define CX 384      // the centre of the play area
#define CY 160

int *swarm[SWARM];
int *sun;
int *planets[PLANETS];
int *moons[PLANETS];
int alpha_mode[3];

int clamp255(int v) { if (v < 0) return 0; if (v > 255) return 255; return v; }

// A disc with a one-pixel soft edge and a highlight up and left, on a clear
// 32-bit plane (the fourth byte is the alpha that mode 7 blends with).
void soft_disc(int plane, int radius, int colour) {
  int x; int y; int size; int d; int h; int a; int k; int r; int g; int b; int *row;
  size = radius * 2 + 2;
  galloc(plane, size, size, 32);
  ginfo(plane, info);
  for (y = 0; y < size; y++) {
    row = info[3] + y * info[4];
    for (x = 0; x < size; x++) {
      // Doubled units, so the centre falls between pixels.
      d = (2 * x + 1 - size) * (2 * x + 1 - size) + (2 * y + 1 - size) * (2 * y + 1 - size);
      a = clamp255((4 * radius * radius - d) * 255 / (8 * radius));
      h = (2 * x + 1 - size + radius) * (2 * x + 1 - size + radius) +
          (2 * y + 1 - size + radius) * (2 * y + 1 - size + radius);
      k = clamp255(200 - h * 200 / (radius * radius * 2));
      r = colour >> 16 & 255; g = colour >> 8 & 255; b = colour & 255;
      r = r + (255 - r) * k / 255; g = g + (255 - g) * k / 255; b = b + (255 - b) * k / 255;
      row[x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
}

// A square gem: a diagonal gradient inside a light border, opaque.
void gem(int plane, int size, int from, int to) {
  int x; int y; int t; int *row;
  galloc(plane, size, size, 32);
  ginfo(plane, info);
  for (y = 0; y < size; y++) {
    row = info[3] + y * info[4];
    for (x = 0; x < size; x++) {
      t = (x + y) * 255 / (2 * size - 2);
      if (x == 0 || y == 0 || x == size - 1 || y == size - 1) row[x] = 0xFFFFFFFF;
      else row[x] = 0xFF000000 | ((from >> 16 & 255) * (255 - t) + (to >> 16 & 255) * t) / 255 << 16 |
                    ((from >> 8 & 255) * (255 - t) + (to >> 8 & 255) * t) / 255 << 8 |
                    ((from & 255) * (255 - t) + (to & 255) * t) / 255;
    }
  }
}

int *centred(int layer, int x, int y, int plane) {
  int *s;
  s = sp_set(layer, 2, x, y, plane, 0, alpha_mode);
  ginfo(plane, info);
  s[6] = info[0] / 2; s[7] = info[1] / 2;  // the hot spot: the centre, the pivot of scale and rotation
  return s;
}

void swarm_build() {
  int i;
  alpha_mode[0] = 7 | 255 << 16;  // source alpha
  soft_disc(P_DISC, 6, 0xFF5050);
  soft_disc(P_DISC + 1, 5, 0x50E070);
  soft_disc(P_DISC + 2, 7, 0x5090FF);
  soft_disc(P_DISC + 3, 4, 0xFFE060);
  gem(P_GEM, 12, 0xFF40C0, 0x4020A0);
  gem(P_GEM + 1, 10, 0x40FFE0, 0x206080);
  soft_disc(P_SUN, 26, 0xFFB020);
  soft_disc(P_PLANET, 9, 0x60A0FF);
  soft_disc(P_MOON, 4, 0xE0E0E0);

  for (i = 0; i < SWARM; i++) {
    if (i % 8 == 7) swarm[i] = centred(1, CX, CY, P_GEM + i / 8 % 2);
    else swarm[i] = centred(1, CX, CY, P_DISC + i % 4 + i / 4 % 2);
  }
  sun = centred(2, CX, CY, P_SUN);
  for (i = 0; i < PLANETS; i++) {
    // Children sit relative to their parent's hot spot, in its turned frame.
    planets[i] = centred(2, tcos(i * 2048 / PLANETS) * 62 >> 16, tsin(i * 2048 / PLANETS) * 62 >> 16, P_PLANET);
    sp_link(sun, planets[i]);
    moons[i] = centred(2, 18, 0, P_MOON);
    sp_link(planets[i], moons[i]);
  }
}

// Where sprite i of the swarm is in formation f at time t.
int fx; int fy;
void formation(int f, int i, int t) {
  int a; int r;
  a = i * 2048 / SWARM;
  if (f == 0) {         // a breathing ellipse
    r = 110 + (tsin(t / 6 + a * 4) * 16 >> 16);
    fx = CX + (tcos(a + t / 9) * r >> 16); fy = CY + (tsin(a + t / 9) * r * 3 / 4 >> 16);
  } else if (f == 1) {  // a Lissajous figure
    fx = CX + (tsin(a * 3 + t / 10) * 140 >> 16); fy = CY + (tsin(a * 2 + t / 13) * 95 >> 16);
  } else if (f == 2) {  // a wave
    fx = CX - 140 + i * 280 / SWARM; fy = CY + (tsin(a * 6 + t / 4) * 70 >> 16);
  } else {              // a turning spiral
    r = 30 + i * 110 / SWARM;
    fx = CX + (tcos(a * 5 + t / 7) * r >> 16); fy = CY + (tsin(a * 5 + t / 7) * r * 3 / 4 >> 16);
  }
}

// The swarm eases from one formation into the next over two seconds.
void swarm_move(int t) {
  int i; int f; int k; int x0; int y0; int *s;
  f = t / 15000 % 4;
  k = t % 15000 * 256 / 2000;
  if (k > 256) k = 256;
  for (i = 0; i < SWARM; i++) {
    s = swarm[i];
    formation((f + 3) % 4, i, t); x0 = fx; y0 = fy;
    formation(f, i, t);
    s[4] = x0 + ((fx - x0) * k >> 8);
    s[5] = y0 + ((fy - y0) * k >> 8);
    s[8] = 0x10000 + tsin(t / 3 + i * 97) / 3;  // scale 2/3 to 4/3
    s[9] = s[8];
    if (i % 8 == 7) s[12] = (t / 4 + i * 50) & 2047;  // gems turn
  }
  sun[12] = t / 12 & 2047;                    // the sun turns and its planets with it
  sun[8] = 0x10000 + tsin(t / 5) / 5;          // and breathes
  sun[9] = sun[8];
  for (i = 0; i < PLANETS; i++) planets[i][12] = t / 4 & 2047;  // moons go round their planets
}
