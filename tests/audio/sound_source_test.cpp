// Sound sources against independent tools: WAV files made by sox (PCM
// exact, Microsoft ADPCM exact to sox's own decoder), Ogg Vorbis made by
// oggenc and decoded by oggdec (the same library underneath: exact), plus
// hand-made files for the layouts and the bad input no tool writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/sound_source.h"
#include "files/file_test_fixture.h"

namespace zelt::test {
namespace {

using audio::SoundSource;

bool have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

void put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8 & 0xFF);
}
void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// A RIFF WAVE image with the given 'fmt ' body and data.
std::string wave(const std::string& fmt, const std::string& data) {
  std::string body = "WAVEfmt ";
  put32(body, static_cast<uint32_t>(fmt.size()));
  body += fmt;
  if (fmt.size() & 1) body += '\0';
  body += "data";
  put32(body, static_cast<uint32_t>(data.size()));
  body += data;
  std::string out = "RIFF";
  put32(out, static_cast<uint32_t>(body.size()));
  return out + body;
}

std::string pcm_fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  std::string f;
  put16(f, tag);
  put16(f, channels);
  put32(f, rate);
  put32(f, rate * channels * bits / 8);
  put16(f, static_cast<uint16_t>(channels * bits / 8));
  put16(f, bits);
  return f;
}

// An ADPCM format record with the seven standard coefficient pairs (or the
// first `pairs` of them).
std::string adpcm_fmt(uint16_t channels, uint32_t rate, uint16_t block_align, uint16_t samples_per_block,
                      uint16_t pairs = 7) {
  static const int16_t kCoef[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  std::string f;
  put16(f, 2);
  put16(f, channels);
  put32(f, rate);
  put32(f, rate * block_align / samples_per_block);
  put16(f, block_align);
  put16(f, 4);
  put16(f, static_cast<uint16_t>(4 + 4 * pairs));
  put16(f, samples_per_block);
  put16(f, pairs);
  for (int i = 0; i < pairs; ++i) {
    put16(f, static_cast<uint16_t>(kCoef[i][0]));
    put16(f, static_cast<uint16_t>(kCoef[i][1]));
  }
  return f;
}

std::vector<uint8_t> read_all(SoundSource& s, uint32_t chunk = 3000) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(chunk);
  for (;;) {
    const uint32_t n = s.read(buf.data(), chunk);
    out.insert(out.end(), buf.begin(), buf.begin() + n);
    if (n < chunk) return out;
  }
}

class SoundSourceTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    if (!have("sox") || !have("oggenc") || !have("oggdec")) GTEST_SKIP() << "sox and vorbis-tools are not installed";
  }
  void run(const std::string& command) {
    const std::string full = "cd '" + dir_.path() + "' && " + command + " 2>/dev/null";
    ASSERT_EQ(std::system(full.c_str()), 0) << command;
  }
  std::vector<uint8_t> file(const std::string& name) { return bytes(dir_.read(name)); }
};

TEST_F(SoundSourceTest, PcmFilesReadExactlyAsSoxWroteThem) {
  struct Case {
    int channels, bits, rate;
  };
  for (const Case c : {Case{1, 8, 11025}, Case{2, 8, 22050}, Case{1, 16, 44100}, Case{2, 16, 48000}}) {
    SCOPED_TRACE(::testing::Message() << c.channels << " ch, " << c.bits << " bits, " << c.rate << " Hz");
    const std::string enc = c.bits == 8 ? "unsigned" : "signed";
    run("sox -n -r " + std::to_string(c.rate) + " -c " + std::to_string(c.channels) + " -b " + std::to_string(c.bits) +
        " -e " + enc + " p.wav synth 0.37 sine 300 sine 770 && sox p.wav -t raw p.raw");
    SoundSource s;
    ASSERT_TRUE(s.open_image(file("p.wav")));
    EXPECT_EQ(s.format(), (audio::PcmFormat{uint16_t(c.channels), uint32_t(c.rate), uint16_t(c.bits)}));
    const std::vector<uint8_t> expected = file("p.raw");
    EXPECT_EQ(s.pcm_length(), expected.size());
    EXPECT_EQ(read_all(s), expected);
    EXPECT_EQ(s.length_ms(), expected.size() / (c.channels * c.bits / 8) * 1000 / c.rate);
  }
}

TEST_F(SoundSourceTest, AdpcmFilesDecodeExactlyAsSoxDecodesThem) {
  for (const int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    // A noisy sweep drives the step sizes through their whole range.
    run("sox -n -r 22050 -c " + std::to_string(channels) +
        " -b 16 src.wav synth 1.3 sine 100-9000 synth whitenoise amod 30 && sox src.wav -e ms-adpcm a.wav && "
        "sox a.wav -t raw -e signed -b 16 a.raw");
    SoundSource s;
    ASSERT_TRUE(s.open_image(file("a.wav")));
    EXPECT_EQ(s.format(), (audio::PcmFormat{uint16_t(channels), 22050, 16}));
    const std::vector<uint8_t> ours = read_all(s, 776);
    const std::vector<uint8_t> sox = file("a.raw");
    // sox also decodes a partial last block; a whole block is the unit here.
    ASSERT_EQ(ours.size(), s.pcm_length());
    ASSERT_LE(ours.size(), sox.size());
    ASSERT_GT(ours.size(), sox.size() * 9 / 10);
    EXPECT_TRUE(std::equal(ours.begin(), ours.end(), sox.begin()));
  }
}

TEST_F(SoundSourceTest, OggFilesDecodeAsOggdecDecodesThem) {
  run("sox -n -r 44100 -c 2 -b 16 src.wav synth 1.5 sine 440 sine 550 && oggenc -Q -q 3 -o o.ogg src.wav && "
      "oggdec -Q -R -o o.raw o.ogg");
  SoundSource s;
  ASSERT_TRUE(s.open_image(file("o.ogg")));
  EXPECT_TRUE(s.is_ogg());
  EXPECT_EQ(s.format(), (audio::PcmFormat{2, 44100, 16}));
  EXPECT_EQ(s.length_ms(), 1500u);
  // The same library decodes both: the tolerance is zero.
  const std::vector<uint8_t> expected = file("o.raw");
  EXPECT_EQ(s.pcm_length(), expected.size());
  EXPECT_EQ(read_all(s, 4096), expected);
}

TEST_F(SoundSourceTest, OggCommentIsTheFirstExactCommentTag) {
  struct Case {
    std::string tags;
    bool found;
    std::string text;
  } cases[] = {
      {"-c TITLE=song -c COMMENT=hello -c COMMENT=second", true, "hello"},
      {"-c comment=hello", false, ""},
      {"-c COMMENT=" + std::string(300, 'x'), true, std::string(255, 'x')},
      {"-c COMMENT=", true, ""},
  };
  run("sox -n -r 8000 -c 1 -b 16 src.wav synth 0.1 sine 440");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tags);
    run("oggenc -Q " + c.tags + " -o c.ogg src.wav");
    SoundSource s;
    ASSERT_TRUE(s.open_image(file("c.ogg")));
    char text[256];
    std::memset(text, 'z', sizeof text);
    EXPECT_EQ(s.comment(text), c.found);
    EXPECT_EQ(std::string(text), c.text);
  }
  SoundSource wav;
  ASSERT_TRUE(wav.open_image(file("src.wav")));
  char text[256] = "untouched";
  EXPECT_FALSE(wav.comment(text));
  EXPECT_STREQ(text, "");
}

TEST_F(SoundSourceTest, SeekingAndLoopPointsInBytesOfWholeFrames) {
  run("sox -n -r 44100 -c 2 -b 16 s.wav synth 2 sine 440 && oggenc -Q -o s.ogg s.wav && "
      "sox -n -r 22050 -c 1 -b 16 m.wav synth 2 sine 440 && sox m.wav -e ms-adpcm m_adpcm.wav");
  SoundSource s;
  ASSERT_TRUE(s.open_image(file("s.wav")));
  s.seek_ms(1001);
  EXPECT_EQ(s.start_offset(), 176576u);
  std::vector<uint8_t> all = file("s.wav");
  const std::vector<uint8_t> pcm(all.end() - s.pcm_length(), all.end());
  uint8_t frame[4];
  s.read(frame, 4);
  EXPECT_EQ(0, std::memcmp(frame, &pcm[176576], 4));
  s.seek_ms(2000);  // the end itself is out of range
  s.seek_ms(0xFFFFFFFF);  // a negative script value
  EXPECT_EQ(s.start_offset(), 176576u);
  s.set_loop_ms(3);
  EXPECT_EQ(s.loop_start(), 44100u * 4 * 3 / 1000 / 4 * 4);
  s.set_loop_ms(5000);
  EXPECT_EQ(s.loop_start(), 44100u * 4 * 3 / 1000 / 4 * 4);
  s.rewind();
  s.read(frame, 4);
  EXPECT_EQ(0, std::memcmp(frame, &pcm[s.loop_start()], 4));

  SoundSource o;
  ASSERT_TRUE(o.open_image(file("s.ogg")));
  o.seek_ms(500);
  EXPECT_EQ(o.start_offset(), 22050u * 4);
  o.seek_ms(2001);
  EXPECT_EQ(o.start_offset(), 22050u * 4);
  // Reading after a restart gives what reading from the start gives there.
  std::vector<uint8_t> head(4000), later(4000);
  o.restart();
  o.read(later.data(), 4000);
  SoundSource whole;
  ASSERT_TRUE(whole.open_image(file("s.ogg")));
  std::vector<uint8_t> skip(22050 * 4);
  whole.read(skip.data(), static_cast<uint32_t>(skip.size()));
  whole.read(head.data(), 4000);
  EXPECT_EQ(head, later);

  // ADPCM: a position in the middle of a block is honoured.
  SoundSource a, b;
  ASSERT_TRUE(a.open_image(file("m_adpcm.wav")));
  ASSERT_TRUE(b.open_image(file("m_adpcm.wav")));
  a.seek_ms(777);
  const uint32_t at = 22050 * 2 * 777 / 1000 / 2 * 2;
  EXPECT_EQ(a.start_offset(), at);
  std::vector<uint8_t> from_a(1000), from_b(at + 1000);
  a.read(from_a.data(), 1000);
  b.read(from_b.data(), at + 1000);
  EXPECT_TRUE(std::equal(from_a.begin(), from_a.end(), from_b.begin() + at));
}

TEST_F(SoundSourceTest, ReadsPastTheEndArePaddedWithSilence) {
  struct Case {
    std::string image;
    uint8_t silence;
  } cases[] = {
      {wave(pcm_fmt(1, 1, 8000, 8), "\x10\x20\x30"), 0x80},
      {wave(pcm_fmt(1, 1, 8000, 16), "\x10\x20\x30\x40"), 0},
  };
  for (const Case& c : cases) {
    SoundSource s;
    ASSERT_TRUE(s.open_image(bytes(c.image)));
    std::vector<uint8_t> buf(10, 0x55);
    const uint32_t n = s.read(buf.data(), 10);
    EXPECT_EQ(n, s.pcm_length());
    for (uint32_t i = n; i < 10; ++i) EXPECT_EQ(buf[i], c.silence) << i;
    EXPECT_EQ(s.read(buf.data(), 10), 0u);
    EXPECT_EQ(buf, std::vector<uint8_t>(10, c.silence));
  }
}

TEST_F(SoundSourceTest, AdpcmBlockLayoutsGiveTheirDecodedSizes) {
  struct Case {
    uint16_t channels, block_align, samples_per_block;
    uint32_t blocks, expected_bytes;
  } cases[] = {{1, 256, 500, 1, 1000}, {2, 1024, 1012, 1, 4048}, {2, 1024, 1012, 3, 3 * 4048}};
  for (const Case& c : cases) {
    // A partial block at the end does not count.
    const std::string data(c.blocks * c.block_align + c.block_align / 2, '\x11');
    SoundSource s;
    ASSERT_TRUE(s.open_image(bytes(wave(adpcm_fmt(c.channels, 22050, c.block_align, c.samples_per_block), data))));
    EXPECT_EQ(s.pcm_length(), c.expected_bytes);
    EXPECT_EQ(read_all(s).size(), c.expected_bytes);
  }
}

TEST_F(SoundSourceTest, AdpcmHeaderSamplesComeFirstAndCodesFollowTheTable) {
  // Mono block: predictor 0 (256, 0), delta 16, sample1 1000, sample2 500;
  // codes 0x7 then 0x9 (-7): 1000 + 7 * 16 = 1112, then delta (614 * 16) >> 8
  // = 38: 1112 - 7 * 38 = 846.
  std::string block;
  block += '\0';
  put16(block, 16);
  put16(block, 1000);
  put16(block, 500);
  block += '\x79';
  SoundSource s;
  ASSERT_TRUE(s.open_image(bytes(wave(adpcm_fmt(1, 8000, 8, 4), block))));
  int16_t pcm[4];
  ASSERT_EQ(s.read(pcm, 8), 8u);
  EXPECT_EQ(pcm[0], 500);
  EXPECT_EQ(pcm[1], 1000);
  EXPECT_EQ(pcm[2], 1112);
  EXPECT_EQ(pcm[3], 1112 - 7 * 38);
}

TEST_F(SoundSourceTest, FilesThatAreNoSoundFailToOpen) {
  const std::string ok_data(64, '\0');
  std::string cut_fmt = wave(pcm_fmt(1, 1, 8000, 16), ok_data);
  cut_fmt.resize(30);
  std::string riff_only = "RIFF";
  put32(riff_only, 4);
  riff_only += "WAVE";
  struct Case {
    const char* what;
    std::string image;
  } cases[] = {
      {"empty", ""},
      {"text", "hello, world"},
      {"not WAVE", "RIFF\x10\0\0\0AVI fmt "},
      {"no chunks", riff_only},
      {"format cut by the end of the file", cut_fmt},
      {"no data chunk", wave(pcm_fmt(1, 1, 8000, 16), "").substr(0, 12 + 8 + 16)},
      {"format tag 3", wave(pcm_fmt(3, 1, 8000, 32), ok_data)},
      {"0 channels", wave(pcm_fmt(1, 0, 8000, 16), ok_data)},
      {"3 channels", wave(pcm_fmt(1, 3, 8000, 16), ok_data)},
      {"rate 0", wave(pcm_fmt(1, 1, 0, 16), ok_data)},
      {"rate 4 GHz", wave(pcm_fmt(1, 1, 4'000'000'000u, 16), ok_data)},
      {"24-bit PCM", wave(pcm_fmt(1, 1, 8000, 24), ok_data)},
      {"short format record", wave(pcm_fmt(1, 1, 8000, 16).substr(0, 14), ok_data)},
      {"ADPCM block align 0", wave(adpcm_fmt(1, 8000, 0, 500), ok_data)},
      {"ADPCM block too small for its samples", wave(adpcm_fmt(1, 8000, 256, 65535), ok_data)},
      {"ADPCM one sample per block", wave(adpcm_fmt(1, 8000, 256, 1), ok_data)},
      {"ADPCM no coefficients", wave(adpcm_fmt(1, 8000, 256, 500, 0), ok_data)},
      {"ADPCM record without the table", wave(adpcm_fmt(1, 8000, 256, 500).substr(0, 20), ok_data)},
      {"Ogg magic only", "OggS"},
      {"Ogg page of garbage", "OggS" + std::string(200, '\x42')},
  };
  for (const Case& c : cases) {
    SoundSource s;
    EXPECT_FALSE(s.open_image(bytes(c.image))) << c.what;
    EXPECT_FALSE(s.is_open()) << c.what;
  }
}

TEST_F(SoundSourceTest, DamagedFilesEndEarlyWithTheirGoodPart) {
  // A data chunk that claims more than the file holds ends at the file's end.
  std::string pcm = wave(pcm_fmt(1, 1, 8000, 16), std::string(100, '\x01'));
  pcm.resize(pcm.size() - 40);
  SoundSource p;
  ASSERT_TRUE(p.open_image(bytes(pcm)));
  EXPECT_EQ(read_all(p).size(), 60u);

  // A predictor beyond a short table takes the first pair; a block stays a block.
  std::string block(256, '\x77');
  block[0] = 5;
  SoundSource a;
  ASSERT_TRUE(a.open_image(bytes(wave(adpcm_fmt(1, 8000, 256, 500, 2), block))));
  EXPECT_EQ(read_all(a).size(), 1000u);

  // A Vorbis stream cut or damaged in the middle: what comes before the
  // damage is the sound, and the rest is at most the full length.
  run("sox -n -r 22050 -c 1 -b 16 v.wav synth 8 pinknoise vol 0.5 && oggenc -Q -o v.ogg v.wav");
  const std::vector<uint8_t> good = file("v.ogg");
  SoundSource full;
  ASSERT_TRUE(full.open_image(good));
  const std::vector<uint8_t> reference = read_all(full);
  std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() * 6 / 10);
  std::vector<uint8_t> holed = good;
  for (size_t i = good.size() / 2; i < good.size() / 2 + 300; ++i) holed[i] ^= 0xA5;
  for (const auto& image : {cut, holed}) {
    SoundSource v;
    SCOPED_TRACE(image.size());
    if (!v.open_image(image)) continue;  // refusing is a correct answer too
    const std::vector<uint8_t> got = read_all(v, 8192);
    EXPECT_LE(got.size(), reference.size() + 8192);
    EXPECT_GT(got.size(), reference.size() / 4);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + reference.size() / 4, reference.begin()));
  }
}

TEST_F(SoundSourceTest, OpensThroughTheFileLayerIncludingCompressedFiles) {
  run("sox -n -r 11025 -c 1 -b 16 plain.wav synth 0.2 sine 440");
  const std::string image = dir_.read("plain.wav");
  ASSERT_EQ(files::write_compressed("packed.wav", image.data(), static_cast<uint32_t>(image.size())), 1);
  SoundSource plain, packed;
  ASSERT_TRUE(plain.open("plain.wav"));
  ASSERT_TRUE(packed.open("PACKED.WAV"));
  EXPECT_EQ(read_all(plain), read_all(packed));
  EXPECT_FALSE(packed.open("missing.wav"));
}

}  // namespace
}  // namespace zelt::test
