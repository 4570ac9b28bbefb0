// The title's clock. Normally the real script clock (counter 1); with
// [Demo] Frames set, every frame is 1/60 s of title time and the demo ends
// after that many frames, so what it shows then does not depend on how
// fast the machine draws. Frames are then also held back until the real
// clock has caught up, so input read at a frame has happened by then.
// [Demo] Start sets the title time of the first frame (ms), to begin
// somewhere else in the minute; [Demo] Seconds ends a run on the real
// clock after that many seconds.

int fixed_frames;  // [Demo] Frames
int start;         // [Demo] Start
int seconds;       // [Demo] Seconds
int frame;         // frames begun
int now;           // title time in ms
int fps_shown;     // frames in the last full second of title time
int fps_count;
int fps_start;

void clock_start() {
  fixed_frames = ini_geti("Demo", "Frames", 0);
  start = ini_geti("Demo", "Start", 0);
  seconds = ini_geti("Demo", "Seconds", 0);
  fps_start = start;
  setcount(1, 0);
}

void clock_tick() {
  frame++;
  if (fixed_frames) {
    while (getcount(1) < frame * 50 / 3) sleep(1);
    now = start + frame * 50 / 3;
  } else {
    now = start + getcount(1);
  }
  fps_count++;
  if (now - fps_start >= 1000) {
    fps_shown = fps_count * 1000 / (now - fps_start);
    fps_count = 0;
    fps_start = now;
  }
}

int clock_done() {
  return fixed_frames && frame >= fixed_frames || seconds && now - start >= seconds * 1000;
}

// With [General] DebugMode the rate over the whole run goes to the debug
// output (and stderr when headless) and, as the debug window closes with
// the program, to the end of rate.txt in the title's folder.
char report[96];
void clock_report() {
  int ms; int fp;
  ms = getcount(1);
  if (ms <= 0) return;
  sprintf(report, "zelt demo: %d frames in %d ms, %d.%d frames/s", frame, ms, frame * 1000 / ms,
          frame * 10000 / ms % 10);
  if (!log_out("%s", report)) return;
  fp = fopen("rate.txt", "a");
  if (!fp) return;
  fputs(report, fp);
  fputs("\n", fp);
  fclose(fp);
}
