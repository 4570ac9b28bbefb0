// What the user does: the pointer lights up the button under it (hit
// regions attached to the button sprites), the arrow keys or a game pad
// move the ship, the pad's A button changes its colour, a rotating banner
// follows it, and Escape asks whether to quit.

#define BUTTONS 4
#define P_BUTTON 20   // 20 to 23: the buttons as they are; 24 to 27 lit up
#define P_SHIP 28     // 28 and 29: two colours
#define P_BANNER 30

#define STEP 16       // pixels per key press
#define REPEAT 600    // ms a key is held before the ship keeps moving
#define SPEED 4       // pixels per frame after that

#define VK_ESCAPE 0x1B
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28

int *buttons[BUTTONS];
int *regions[BUTTONS];
int *ship;
int *banner;
int ship_colour;
char keys[256];
int joy[3];
int point[4];
int held_since;   // the real clock when the current direction was first seen
int held_dx; int held_dy;
int was_escape;
int was_a;

void button(int i, char *label) {
  int p;
  for (p = P_BUTTON + i; p <= P_BUTTON + BUTTONS + i; p = p + BUTTONS) {
    galloc(p, 62, 20, 32);
    gclear(p, 0, p < P_BUTTON + BUTTONS ? 0xFF304060 : 0xFFF0C040);
    rc[0] = 1; rc[1] = 1; rc[2] = 61; rc[3] = 19;
    gclear(p, rc, p < P_BUTTON + BUTTONS ? 0xFF182030 : 0xFFFFE890);
    font_use(7);
    gtext(p, 8, 3, p < P_BUTTON + BUTTONS ? 0xFF : 0x00, label);
  }
  buttons[i] = sp_set(4, 2, 356 + i * 70, 8, P_BUTTON + i, 0, 0);
  // A region the size of the sprite's picture, moving with it; its user
  // value says which button it is.
  regions[i] = hit_set(0, 1, buttons[i], 0, i);
}

// The ship: an arrow pointing right on a clear plane, turned to where it
// last went.
void ship_plane(int plane, int colour) {
  int pts[8];
  galloc(plane, 24, 24, 32);
  gclear(plane, 0, 0);
  pts[0] = 2; pts[1] = 2; pts[2] = 22; pts[3] = 12; pts[4] = 2; pts[5] = 22; pts[6] = 8; pts[7] = 12;
  gpoly(plane, pts, 4, 0xFF000000 | colour);
}

void player_build() {
  button(0, "Sprites");
  button(1, "Blends");
  button(2, "Text");
  button(3, "Palette");
  ship_plane(P_SHIP, 0x40F0FF);
  ship_plane(P_SHIP + 1, 0xFF60A0);
  ship = sp_set(3, 2, CX, 250, P_SHIP, 0, alpha_mode);
  ship[6] = 12; ship[7] = 12;

  galloc(P_BANNER, 180, 28, 32);
  gclear(P_BANNER, 0, 0);
  font_slot(8, "Arial", -22, 0, 16 | 1);
  font_use(8);
  gtext(P_BANNER, 4, 2, 0x800000FF, "zelt 2D runtime");  // bit 31: the text's coverage becomes alpha
  banner = sp_set(3, 2, CX, 280, P_BANNER, 0, alpha_mode);
  banner[6] = 90; banner[7] = 14;
}

void move_ship(int dx, int dy) {
  ship[4] = ship[4] + dx;
  ship[5] = ship[5] + dy;
  if (ship[4] < 250) ship[4] = 250;
  if (ship[4] > 620) ship[4] = 620;
  if (ship[5] < 44) ship[5] = 44;
  if (ship[5] > 270) ship[5] = 270;
  if (dx > 0) ship[12] = 0;
  if (dx < 0) ship[12] = 1024;
  if (dy < 0) ship[12] = 512;  // positive angles turn counter-clockwise
  if (dy > 0) ship[12] = 1536;
}

// Per frame; 0 when the user has chosen to quit.
int player_move(int t) {
  int i; int dx; int dy; int *r; int escape; int a;
  // Hover: the button under the pointer lights up.
  getpoint(point);
  r = hit_point(point[0], point[1], 1);
  for (i = 0; i < BUTTONS; i++) buttons[i][3] = P_BUTTON + i + (r && r[7] == i) * BUTTONS;

  // A press moves one step at once; held on, the ship keeps going.
  dx = 0; dy = 0;
  getkey(keys);
  if (keys[VK_LEFT] & 0x80) dx = -1;
  if (keys[VK_RIGHT] & 0x80) dx = 1;
  if (keys[VK_UP] & 0x80) dy = -1;
  if (keys[VK_DOWN] & 0x80) dy = 1;
  a = 0;
  if (getjoy(0, joy)) {
    if (joy[0] < -500) dx = -1;
    if (joy[0] > 500) dx = 1;
    if (joy[1] < -500) dy = -1;
    if (joy[1] > 500) dy = 1;
    a = joy[2] & 1;
  }
  // How long a key is held is real time, also when the title's own clock
  // runs on a fixed step.
  if (dx != held_dx || dy != held_dy) {
    held_dx = dx; held_dy = dy; held_since = getcount(1);
    if (dx || dy) move_ship(dx * STEP, dy * STEP);
  } else if ((dx || dy) && getcount(1) - held_since >= REPEAT) {
    move_ship(dx * SPEED, dy * SPEED);
  }
  if (a && !was_a) ship_colour = !ship_colour;
  was_a = a;
  ship[3] = P_SHIP + ship_colour;

  // The banner swings beneath the ship.
  banner[4] = ship[4]; banner[5] = ship[5] + 30;
  banner[12] = tsin(t / 3) / 512 & 2047;

  escape = keys[VK_ESCAPE] & 0x80;
  if (escape && !was_escape && mbox(0x21, "zelt demo", lines[3]) == 1) return 0;  // OK of OK/Cancel
  was_escape = escape;
  return 1;
}
