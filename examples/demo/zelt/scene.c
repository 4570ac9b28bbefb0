// The still parts of the demo and the ones drawn once per frame: the
// background put together from a bitmap and a JPEG, the text panel, the
// blend modes side by side, the palette-cycled 8-bit plane and the
// frames-per-second line.

#define WIDTH 640
#define HEIGHT 360

// Planes (slot numbers).
#define P_BG 2       // the background the sprites are composed over
#define P_SKY 3      // data\bg\sky.bmp, the upper 200 rows
#define P_HILLS 4    // data\bg\hills.jpg, the lower 160 rows
#define P_SHADE 5    // black, laid over the background at half strength under the text
#define P_TILE 6     // the colour tile of the blend modes
#define P_PLASMA 7   // 8 bits per pixel, its colours cycled through the palette
#define P_HUD 8      // the frames-per-second line

// Palette entries 16 to 79 cycle through the hues; the rest keep the
// default colour cube that text colours index.
#define CYCLE_FIRST 16
#define CYCLE_COUNT 64

#define BLENDS 8

int info[6];          // ginfo: width, height, bits, top row, row step, colour table
int rc[4];
int shade_mode[3];
int blend_modes[24];  // BLENDS descriptors of three words
char *blend_names[BLENDS];
int *swatches[BLENDS];
int *plasma;
int *hud;
int ramp[CYCLE_COUNT];
int pal[256];
char *lines[8];       // the lines of data\text\lines.txt
char font[48];

// A plane from the title's data; without it the demo cannot go on. gload
// has already reported the file to the user.
void load(int plane, char *name) {
  if (!gload(plane, name)) exit();
}

// Reads the Japanese lines (code page 932, one a line) into lines[].
void load_lines() {
  int h; int n; int i; int count; char *text;
  h = pack_open("data\\text\\lines.txt");
  if (!h) exit();
  n = pack_size(h);
  text = malloc(n + 1);
  pack_read(h, text, n);
  pack_close(h);
  text[n] = 0;
  count = 0;
  lines[0] = text;
  for (i = 0; i < n && count < 7; i++) {
    if (text[i] == '\r') text[i] = 0;
    if (text[i] == '\n') { text[i] = 0; lines[++count] = text + i + 1; }
  }
  while (++count < 8) lines[count] = "";
}

void scene_load() {
  load_lines();
  load(P_SKY, "data\\bg\\sky.bmp");
  load(P_HILLS, "data\\bg\\hills.jpg");
}

// Describes font slot n: face, height in pixels (negative: the characters'
// height), angle in tenths of a degree, flags (16: smooth, 1: bold).
void font_slot(int n, char *face, int height, int angle, int flags) {
  int *f;
  memset(font, 0, 48);
  strcpy(font, face);
  f = font;
  f[8] = height; f[9] = angle; f[10] = flags;
  font_set(n, font);
}

void text(int slot, int x, int y, int colour, char *s) {
  font_use(slot);
  gtext(P_BG, x, y, colour, s);
}

// Text colours index the palette's colour cube (3 bits red, 3 green, 2 blue).
#define WHITE 0xFF
#define YELLOW 0xFC
#define CYAN 0x1F
#define ORANGE 0xF4
#define PINK 0xEB

void text_panel() {
  galloc(P_SHADE, 232, 236, 24);
  gclear(P_SHADE, 0, 0);
  shade_mode[0] = 3 | 150 << 16;  // alpha, at 150 of 255
  gcopy(P_BG, 6, 36, P_SHADE, 0, shade_mode);

  font_slot(1, "MS Gothic", -26, 0, 16 | 1);
  text(1, 14, 42, WHITE, lines[4]);
  text(0, 14, 78, WHITE, lines[0]);                       // the default slot: sharp, 16 pixels
  font_slot(2, "MS Mincho", -20, 0, 16);
  text(2, 14, 100, YELLOW, lines[1]);
  font_slot(3, "Arial", -14, 0, 0);
  text(3, 14, 128, CYAN, "Sharp Latin text, 14 pixels");
  font_slot(4, "Arial", -16, 0, 16);
  text(4, 14, 148, WHITE, "Smooth Latin text, 16 pixels");
  font_slot(5, "Arial", -15, 150, 16);
  text(5, 14, 168, PINK, "Smooth, turned 15 degrees");
  font_slot(6, "MS Gothic", -16, 100, 0);
  text(6, 14, 222, ORANGE, lines[2]);
}

// Eight blend modes side by side: the same colour tile over the same grey
// ramps, each with its own mode.
void blend_panel() {
  int i; int x; int y; int *row;
  blend_names[0] = "alpha 60%"; blend_modes[0] = 3 | 153 << 16;
  blend_names[1] = "add";       blend_modes[3] = 13 | 255 << 16;
  blend_names[2] = "multiply";  blend_modes[6] = 15 | 255 << 16;
  blend_names[3] = "screen";    blend_modes[9] = 19 | 255 << 16;
  blend_names[4] = "overlay";   blend_modes[12] = 26 | 255 << 16;
  blend_names[5] = "soft light"; blend_modes[15] = 28 | 255 << 16;
  blend_names[6] = "dodge";     blend_modes[18] = 32 | 255 << 16;
  blend_names[7] = "burn";      blend_modes[21] = 34 | 255 << 16;

  galloc(P_TILE, 72, 40, 32);
  ginfo(P_TILE, info);
  for (y = 0; y < 40; y++) {
    row = info[3] + y * info[4];
    for (x = 0; x < 72; x++) row[x] = 0xFF000000 | hsvtorgb(x * 2047 / 72 << 16 | 220 << 8 | 255 - y * 3);
  }
  font_slot(7, "Arial", -12, 0, 0);
  for (i = 0; i < BLENDS; i++) {
    for (x = 0; x < 72; x++) gfill(P_BG, 12 + i * 78 + x, 290, 1, 40, 0xFF000000 | x * 255 / 71 * 0x010101);
    swatches[i] = sp_set(0, 2, 12 + i * 78, 290, P_TILE, 0, blend_modes + i * 3);
    text(7, 14 + i * 78, 333, WHITE, blend_names[i]);
  }
}

// The 8-bit plane: a pattern of indices into the cycled palette entries.
void plasma_plane() {
  int x; int y; int v; char *row;
  galloc(P_PLASMA, 96, 96, 8);
  ginfo(P_PLASMA, info);
  for (y = 0; y < 96; y++) {
    row = info[3] + y * info[4];
    for (x = 0; x < 96; x++) {
      v = tsin(x * 21) + tsin(y * 27) + tsin((x + y) * 13) + tcos((x - y) * 17);
      row[x] = CYCLE_FIRST + (v >> 12 & CYCLE_COUNT - 1);
    }
  }
  for (x = 0; x < CYCLE_COUNT; x++) ramp[x] = hsvtorgb(x * 2048 / CYCLE_COUNT << 16 | 255 << 8 | 255);
  plasma = sp_set(0, 2, 536, 40, P_PLASMA, 0, 0);
}

void scene_build() {
  galloc(P_BG, WIDTH, HEIGHT, 24);
  gcopy(P_BG, 0, 0, P_SKY, 0, 0);
  gcopy(P_BG, 0, 200, P_HILLS, 0, 0);
  text_panel();
  blend_panel();
  plasma_plane();
  galloc(P_HUD, 236, 20, 24);
  hud = sp_set(4, 2, 6, 8, P_HUD, 0, 0);
  sp_setbg(P_BG);
}

// Per frame: the palette turns one step every 40 ms (pal_change publishes
// it; the 8-bit plane takes it as its colour table) and the line at the top
// is drawn again in one of the cycled colours.
void scene_animate(int t, int sprites) {
  int i; int turn;
  turn = t / 40;
  for (i = 0; i < CYCLE_COUNT; i++) pal_set(CYCLE_FIRST + i, ramp[(i + turn) % CYCLE_COUNT]);
  pal_change();
  pal_gets(0, 256, pal);
  gsetpal(P_PLASMA, 0, 256, pal);

  gclear(P_HUD, 0, 0x101828);
  font_use(3);
  gtextf(P_HUD, 6, 2, CYCLE_FIRST, "%d frames/s  %d sprites  %d:%02d", fps_shown, sprites, t / 60000,
         t / 1000 % 60);
}
