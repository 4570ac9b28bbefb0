// Titles that play sounds, run headless with --record-audio: what the
// recording holds is what a sound card would have been given, so the laws
// of volume, pan and frequency, loops, margins, pauses and streams are
// measured on it. The scripts print what the built-ins answer (log_out).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Recording {
  std::vector<int16_t> left, right;
};

class SoundTitle : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have("sox") || !have("oggenc")) GTEST_SKIP() << "sox and vorbis-tools are not installed";
    dir_.write("title/zelt.cfg", "[General]\nMultiInstance=1\nDebugMode=1\n[Screen]\nWidth=32\nHeight=32\nDepth=32\n");
  }
  void make(const std::string& command) {
    const std::string full = "cd '" + dir_.path() + "/title' && " + command + " 2>/dev/null";
    ASSERT_EQ(std::system(full.c_str()), 0) << command;
  }
  // Runs the script; returns what it printed. The recording lands in rec_.
  std::string run(const std::string& body) {
    dir_.write("title/zelt/main.c", test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h") +
                                        "int main() {\n" + body + "\nexit();\n}\n");
    const test::RunResult r = test::run_zelt("--headless --timeout 30 --record-audio " + (dir_ / "rec.wav") + " " +
                                             (dir_ / "title"),
                                         "XDG_CONFIG_HOME=" + (dir_ / "home"));
    EXPECT_EQ(r.code, 0) << r.output;
    const std::string wav = dir_.read("rec.wav");
    rec_ = {};
    EXPECT_GE(wav.size(), 44u);
    if (wav.size() < 44) return r.output;
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    uint32_t data_size;
    std::memcpy(&data_size, wav.data() + 40, 4);
    EXPECT_EQ(data_size, wav.size() - 44);
    for (size_t at = 44; at + 4 <= wav.size(); at += 4) {
      int16_t lr[2];
      std::memcpy(lr, wav.data() + at, 4);
      rec_.left.push_back(lr[0]);
      rec_.right.push_back(lr[1]);
    }
    return r.output;
  }
  static size_t sound_start(const std::vector<int16_t>& v) {
    size_t at = 0;
    while (at < v.size() && v[at] == 0) ++at;
    return at;
  }
  // The peak once the sound has settled (a master change ramps over the
  // block in which it comes).
  static int peak(const std::vector<int16_t>& v) {
    int p = 0;
    for (size_t i = sound_start(v) + 2048; i < v.size(); ++i) p = std::max(p, std::abs(static_cast<int>(v[i])));
    return p;
  }
  // Upward zero crossings per second over the first 200 ms of sound.
  static double frequency(const std::vector<int16_t>& v) {
    size_t first = 0, last = 0, crossings = 0;
    const size_t from = sound_start(v);
    for (size_t i = from + 1; i < std::min(v.size(), from + 9600); ++i)
      if (v[i - 1] < 0 && v[i] >= 0) {
        if (crossings++ == 0) first = i;
        last = i;
      }
    return crossings < 2 ? 0 : (crossings - 1) * 48000.0 / static_cast<double>(last - first);
  }

  test::TempDir dir_;
  Recording rec_;
};

TEST_F(SoundTitle, VolumeAndPanLandOnTheChannelsAsTheLawsSay) {
  make("sox -n -r 48000 -c 1 -b 16 tone.wav synth 0.5 sine 1000 vol 0.5");
  const std::string out = run(
      "snd_load(0, \"tone.wav\"); snd_setvol(0, 50); snd_setpan(0, -100);\n"
      "log_out(\"vol %d pan %d\\n\", snd_getvol(0), snd_getpan(0));\n"
      "snd_play(0, 0); sleep(700);");
  EXPECT_NE(out.find("vol 50 pan -99"), std::string::npos) << out;
  // 0.5 full scale at -10 dB: 0.5 * 10^(-1000/2000) of 32767; the right side is gone.
  EXPECT_NEAR(peak(rec_.left), 0.5 * std::pow(10.0, -0.5) * 32767, 40);
  EXPECT_EQ(peak(rec_.right), 0);
  EXPECT_NEAR(frequency(rec_.left), 1000.0, 2.0);
}

TEST_F(SoundTitle, FrequencyChangesThePitchAndMasterVolumeScalesAll) {
  make("sox -n -r 22050 -c 2 -b 16 tone.wav synth 0.6 sine 1000 vol 0.5");
  const std::string out = run(
      "snd_load(3, \"tone.wav\"); snd_setfreq(3, 33075); snd_setvol(-1, 50);\n"
      "log_out(\"freq %d master %d\\n\", snd_getfreq(3), snd_getvol(-1));\n"
      "snd_play(3, 0); sleep(700);\n"
      "snd_setfreq(3, 50); log_out(\"low %d\\n\", snd_getfreq(3));\n"
      "snd_setfreq(3, 0); log_out(\"own %d\\n\", snd_getfreq(3));");
  EXPECT_NE(out.find("freq 33075 master 50"), std::string::npos) << out;
  EXPECT_NE(out.find("low 100"), std::string::npos) << out;
  EXPECT_NE(out.find("own 22050"), std::string::npos) << out;
  EXPECT_NEAR(frequency(rec_.left), 1500.0, 3.0);
  EXPECT_NEAR(frequency(rec_.right), 1500.0, 3.0);
  EXPECT_NEAR(peak(rec_.left), 0.5 * std::pow(10.0, -0.5) * 32767, 200);
}

TEST_F(SoundTitle, PlayingFasterThanTheOutputRateLeavesNoAlias) {
  // Left: a 20 kHz tone played at twice its rate would be 40 kHz, above what
  // 48 kHz can hold; nothing of it may fold back. Right: an 8 kHz tone at
  // 90000 Hz becomes 15 kHz and passes whole.
  make("sox -D -n -r 48000 -c 1 -b 16 high.wav synth 0.5 sine 20000 vol 0.5 && "
       "sox -D -n -r 48000 -c 1 -b 16 mid.wav synth 0.5 sine 8000 vol 0.5");
  run("snd_load(0, \"high.wav\"); snd_load(1, \"mid.wav\"); snd_setpan(0, -100); snd_setpan(1, 100);\n"
      "snd_setfreq(0, 96000); snd_setfreq(1, 90000); snd_play(0, 1); snd_play(1, 1); sleep(500);");
  int left = 0;
  for (int16_t v : rec_.left) left = std::max(left, std::abs(static_cast<int>(v)));
  EXPECT_LT(left, 16) << "60 dB under the tone";
  EXPECT_NEAR(20 * std::log10(peak(rec_.right) / (0.5 * 32767)), 0.0, 0.5);
  EXPECT_NEAR(frequency(rec_.right), 15000.0, 10.0);
}

TEST_F(SoundTitle, LoopsRepeatTheBufferWithItsMarginSampleExactly) {
  // 100 ms of a square wave and a 50 ms margin: bursts of 4800 samples
  // that never touch 0, then exactly 2400 zeros, over and over.
  make("sox -n -r 48000 -c 1 -b 16 sq.wav synth 0.1 square 1000 vol 0.5");
  run("snd_setmargin(50); snd_load(1, \"sq.wav\"); snd_play(1, 1); sleep(800);");
  const std::vector<int16_t>& v = rec_.left;
  size_t start = 0;
  while (start < v.size() && v[start] == 0) ++start;
  ASSERT_LT(start + 4 * 7200, v.size());
  for (int period = 0; period < 4; ++period) {
    const size_t at = start + period * 7200;
    for (size_t i = 0; i < 4800; ++i) ASSERT_NE(v[at + i], 0) << "period " << period << " sample " << i;
    for (size_t i = 4800; i < 7200; ++i) ASSERT_EQ(v[at + i], 0) << "period " << period << " sample " << i;
    for (size_t i = 0; i < 4800; ++i) ASSERT_EQ(v[at + i], v[start + i]) << "period " << period << " sample " << i;
  }
}

TEST_F(SoundTitle, PausesNestAndStopsAnswerAsSpecified) {
  make("sox -n -r 48000 -c 1 -b 16 tone.wav synth 0.1 sine 500");
  const std::string out = run(
      "snd_load(2, \"tone.wav\"); snd_play(2, 1); sleep(100);\n"
      "snd_pause(2); snd_pause(2); snd_replay(2);\n"
      "log_out(\"paused %d\\n\", snd_isplay(2));\n"
      "snd_replay(2); log_out(\"resumed %d\\n\", snd_isplay(2));\n"
      "log_out(\"setpos %d\\n\", snd_setpos(2, 10));\n"
      "log_out(\"bad %d %d\\n\", snd_play(64, 0), snd_play(-1, 0));\n"
      "snd_stop(2); log_out(\"stopped %d pos %d\\n\", snd_isplay(2), snd_getpos(2));\n"
      "log_out(\"setpos %d\\n\", snd_setpos(2, 10));\n"
      "log_out(\"load bad %d\\n\", snd_load(4, \"missing.wav\"));\n"
      "log_out(\"free %d\\n\", snd_free(2));");
  for (const char* line : {"paused 0", "resumed 1", "setpos 0\n", "bad 0 0", "stopped 0 pos 0", "setpos 1",
                           "load bad 0", "free 1"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

TEST_F(SoundTitle, StreamsPlayTheirSourceLoopAndEnd) {
  make("sox -n -r 22050 -c 2 -b 16 s.wav synth 0.5 sine 700 vol 0.5 && oggenc -Q -c COMMENT=hello -o s.ogg s.wav");
  const std::string out = run(
      "char text[256];\n"
      "log_out(\"loads %d\\n\", snd_loads(5, \"s.ogg\")); log_out(\"len %d\\n\", snd_getlen(5));\n"
      "log_out(\"text %d %s\\n\", snd_gettext(5, text), text);\n"
      "snd_play(5, 0); sleep(200); log_out(\"playing %d pos %d\\n\", snd_isplay(5), snd_getpos(5));\n"
      "sleep(2500); log_out(\"ended %d\\n\", snd_isplay(5));\n"
      "snd_setloop(5, 200); snd_play(5, 1); sleep(1800);\n"
      "log_out(\"looping %d\\n\", snd_isplay(5));\n"
      "snd_loads(6, \"s.wav\"); strcpy(text, \"x\");\n"
      "log_out(\"wav text %d [%s]\\n\", snd_gettext(6, text), text);");
  EXPECT_NE(out.find("len 500"), std::string::npos) << out;
  EXPECT_NE(out.find("text 1 hello"), std::string::npos) << out;
  EXPECT_NE(out.find("playing 1 pos "), std::string::npos) << out;
  EXPECT_NE(out.find("ended 0"), std::string::npos) << out;
  EXPECT_NE(out.find("looping 1"), std::string::npos) << out;
  EXPECT_NE(out.find("wav text 0 []"), std::string::npos) << out;
  EXPECT_NEAR(frequency(rec_.left), 700.0, 3.0);
}

TEST_F(SoundTitle, EchoSoundsOnBuffersThatTakeEffectsUntilItIsCleared) {
  // 20 ms of noise in 150 ms: long enough for effects with a 300 ms margin
  // (slot 0), too short without one (slot 1, 100 ms). The echo record: wet/dry
  // 50, feedback 0, 100 ms on both sides, no pan delay (floats by their bits).
  make("sox -D -n -r 48000 -c 1 -b 16 long.wav synth 0.02 whitenoise vol 0.5 pad 0 0.13 && "
       "sox -D -n -r 48000 -c 1 -b 16 short.wav synth 0.02 whitenoise vol 0.5 pad 0 0.08");
  const std::string out = run(
      "int echo[5]; echo[0] = 0x42480000; echo[1] = 0; echo[2] = 0x42C80000; echo[3] = 0x42C80000; echo[4] = 0;\n"
      "snd_setmargin(300); snd_load(0, \"long.wav\"); snd_setmargin(0); snd_load(1, \"short.wav\");\n"
      "log_out(\"echo %d %d none %d\\n\", snd_setecho(0, echo), snd_setecho(1, echo), snd_setecho(2, echo));\n"
      "snd_play(0, 0); sleep(600);\n"
      "snd_play(1, 0); sleep(600);\n"
      "snd_setecho(0, 0); snd_play(0, 0); sleep(600);");
  EXPECT_NE(out.find("echo 1 1 none 0"), std::string::npos) << out;
  // The three plays, each after at least 200 ms of silence.
  const std::vector<int16_t>& v = rec_.left;
  std::vector<size_t> plays;
  size_t quiet = 9600;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != 0 && quiet >= 9600) plays.push_back(i);
    quiet = v[i] == 0 ? quiet + 1 : 0;
  }
  ASSERT_EQ(plays.size(), 3u);
  for (size_t p : plays) ASSERT_LT(p + 9600, v.size());
  // Half the noise at once and half of it 4800 samples later, sample for sample.
  const size_t a = plays[0];
  size_t heard = 0;
  for (size_t i = 0; i < 960; ++i) {
    ASSERT_EQ(v[a + 4800 + i], v[a + i]) << i;
    heard += v[a + i] != 0;
  }
  EXPECT_GT(heard, 900u);
  // The short sound and the cleared echo: nothing after the noise.
  for (size_t p : {plays[1], plays[2]})
    for (size_t i = 960; i < 9600; ++i) ASSERT_EQ(v[p + i], 0) << i;
}

}  // namespace
}  // namespace zelt
