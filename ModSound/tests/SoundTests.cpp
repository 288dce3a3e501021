// Sound.bin on the real engine, against ALSA configurations of the tests' own (never a real
// device): file PCMs over ALSA's null PCM, reading known 16-bit samples from a file when
// recording and writing what is played into another.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KvCore/Engine.h"
#include "KvCore/tests/ModuleEngineRig.h"
#include "KvDll/HeadlessWnd.h"
#include "ModSound/Sound.h"

namespace fs = std::filesystem;

namespace {

std::vector<int16_t> readSamples(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  const std::string b(std::istreambuf_iterator<char>(f), {});
  std::vector<int16_t> s(b.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(static_cast<uint8_t>(b[2 * i]) | static_cast<uint8_t>(b[2 * i + 1]) << 8);
  return s;
}

void writeSamples(const fs::path& p, const std::vector<int16_t>& s) {
  std::ofstream f(p, std::ios::binary);
  for (const int16_t x : s) f.put(static_cast<char>(x & 0xFF)).put(static_cast<char>((x >> 8) & 0xFF));
}

// A temporary folder with an ALSA configuration of its own ("$DIR" stands for the folder),
// in force while it lives.
struct AlsaConfig {
  fs::path dir;
  explicit AlsaConfig(std::string text) {
    char t[] = "/tmp/kvsoundXXXXXX";
    dir = mkdtemp(t);
    for (size_t at; (at = text.find("$DIR")) != std::string::npos;) text.replace(at, 4, dir.string());
    std::ofstream(dir / "asoundrc") << text;
    setenv("ALSA_CONFIG_PATH", (dir / "asoundrc").c_str(), 1);
  }
  ~AlsaConfig() {
    unsetenv("ALSA_CONFIG_PATH");
    fs::remove_all(dir);
  }
};

// A capture device "rec" reading $DIR/in.raw and a playback device "play" writing $DIR/out.raw.
std::string filePcms(const char* playFormat = "raw") {
  return std::string(
             "pcm.rec { type file slave.pcm { type null } file \"/dev/null\" infile \"$DIR/in.raw\" format \"raw\"\n"
             "  hint { show on description \"Recorder|IOIDInput\" } }\n"
             "pcm.play { type file slave.pcm { type null } file \"$DIR/out.raw\" format \"") +
         playFormat + "\"\n  hint { show on description \"Player|IOIDOutput\" } }\n";
}

class Rig : public ModuleEngineRig {
 public:
  // The answer ("" for none: the engine then answers with the line itself); result 0 or -1.
  std::string exec(const std::string& line, int want = 0) {
    const std::string a = answer(line, want);
    return line == a ? "" : a;
  }
  void script(const std::string& text) {  // lines separated by "\n", each must succeed
    for (size_t at = 0; at < text.size();) {
      const size_t nl = std::min(text.find('\n', at), text.size());
      exec(text.substr(at, nl - at));
      at = nl + 1;
    }
  }
  bool aborted() { return log().find("Acquisition aborted") != std::string::npos; }
  const CBfr* out(const char* port) { return engine.Components().PortBuffer(engine.Components().Find("s"), port); }
  // What sound.out "o" wrote into its file, read once it is unloaded (which closes the device).
  std::vector<int16_t> played(const AlsaConfig& config) {
    exec("unload o");
    return readSamples(config.dir / "out.raw");
  }
};

std::vector<double> values(const CBfr* b) {
  const double* d = b && b->data ? static_cast<const double*>(b->data) : nullptr;
  return d ? std::vector<double>(d, d + b->count) : std::vector<double>();
}

int16_t clip(long x) { return static_cast<int16_t>(std::clamp(x, -32768L, 32767L)); }

// Samples at both ends of the range and on both sides of zero.
const std::vector<int16_t> kSamples = {0, 1, -1, 32767, -32768, 12345, -23456, 16384, -16384, 7, 300, -301};

}  // namespace

TEST(Sound, SettingsTheirRefusalsAndTheComponentTexts) {
  struct Key {
    const char* variant;
    const char* key;
    const char* label;
    const char* unit;
    double value;
  };
  const Key keys[] = {
      {"in", "device", "Sound-In Device", "", 0},       {"out", "device", "Sound-Out Device", "", 0},
      {"in", "stereo", "Stereo", "", 0},                {"out", "ch1.gain", "CHL Gain", "V", 2},
      {"in", "ch2.gain", "CHR Gain", "V", 2},           {"in", "ch1.offset", "CHL Offset", "V", 0},
      {"out", "ch2.offset", "CHR Offset", "V", 0},      {"in", "samplerate", "Sample Rate", "S/s", 44100},
      {"out", "reclen", "Rec. Length", "", 1024},       {"out", "samplerate.override", "Override", "", 0},
      {"in", "freeze", "Freeze Signal", "", 0},         {"in", "hor.offset", "Horizontal Offset", "s", 0},
      {"in", "hor.offset.additive", "Additive", "", 0}, {"in", "gui.more", "More", "", 0},
  };
  CGlobalData g;
  for (const Key& k : keys) {
    SCOPED_TRACE(std::string(k.variant) + " " + k.key);
    KvCreateBlock block{"s", &g, nullptr, k.variant};
    CSoundIn in(block);
    CSoundOut out(block);
    CSound& s = k.variant[0] == 'i' ? static_cast<CSound&>(in) : out;
    CStr label, unit;
    VPARAM l, u, d, r;
    l.value.str = &label, u.value.str = &unit;
    ASSERT_EQ(s.Settings(parLabel, k.key, l), cmdDone);
    ASSERT_EQ(s.Settings(parUnit, k.key, u), cmdDone);
    ASSERT_EQ(s.Settings(parDescribe, k.key, d), cmdDone);
    ASSERT_EQ(s.Settings(parRead, k.key, r), cmdDone);
    EXPECT_STREQ(label.GetBfr(), k.label);
    EXPECT_STREQ(unit.GetBfr(), k.unit);
    EXPECT_EQ(d.vt == vtR8 ? r.value.r8 : r.value.i4, k.value);
  }

  // Through the engine; a refused value leaves the setting as it was.
  Rig rig;
  rig.script("load s = sound.in\nload o = sound.out\ns.samplerate = 22050\ns.reclen = 10\ns.ch1.gain = 4\no.device = 1\ns.stereo = 1");
  const struct {
    const char* line;
    int result;
    const char* answer;
  } steps[] = {
      {"s.samplerate = 0", -1, "Value not accepted \"s.samplerate = 0\""},
      {"s.samplerate = -8000", -1, "Value not accepted \"s.samplerate = -8000\""},
      {"s.samplerate", 0, "22050"},
      {"s.reclen = 0", -1, "Value not accepted \"s.reclen = 0\""},
      {"s.reclen", 0, "10"},
      {"s.ch1.gain = 0", -1, "Value not accepted \"s.ch1.gain = 0\""},
      {"s.ch1.gain", 0, "4"},
      {"o.device = -1", -1, "Value not accepted \"o.device = -1\""},
      {"o.device", 0, "1"},
      {"s.stereo = 2", -1, "Value not accepted \"s.stereo = 2\""},
      {"s.stereo", 0, "1"},
      {"s.samplerate.override", -1, "Setting not found \"s.samplerate.override\""},
      {"o.freeze", -1, "Setting not found \"o.freeze\""},
      {"s.version", 0, "1.0.0"},
      {"s.gui.names", 0, "gui"},
      {"o.gui.names", 0, "gui"},
      {"s.gui.class", 0, "KvSound.Import"},
      {"o.gui.class", 0, "KvSound.Export"},
      {"o.gui.caption = \"Left speaker\"", 0, ""},
      {"o.gui.caption", 0, "Left speaker"},
      {"s.oports", 0, "ch1.out,ch2.out"},
      {"o.iports", 0, "ch1.in,ch2.in"},
      {"o.functions", 0, "devices,stop"},
      {"o.settings", 0, "device,stereo,ch1.gain,ch1.offset,ch2.gain,ch2.offset,samplerate,samplerate.override,reclen,gui.caption"},
  };
  for (const auto& s : steps) EXPECT_EQ(rig.exec(s.line, s.result), s.answer) << s.line;
  EXPECT_NE(rig.exec("s.symbol").find(",Sound In,"), std::string::npos);
  EXPECT_NE(rig.exec("o.symbol").find(",Sound Out,"), std::string::npos);
  for (const char* c : {"s", "o"}) {  // every listed setting reads, so a saved state replays
    const std::string list = rig.exec(std::string(c) + ".settings") + ",";
    for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1)
      rig.exec(std::string(c) + "." + list.substr(at, comma - at));
  }
}

TEST(Sound, DeviceListsOfEachDirection) {
  struct Case {
    const char* config;
    const char* inputs;
    const char* outputs;
  };
  const Case cases[] = {
      {"", "", ""},  // no device at all
      {"pcm.null { type null hint { show on description \"Discard all samples\" } }\n", "", ""},  // the system's null
      {"pcm.mic { type null hint { show on description \"Microphone, front\nsecond line|IOIDInput\" } }\n"
       "pcm.both { type null hint { show on description \"Both ways\" } }\n"
       "pcm.spk { type null hint { show on description \"Speaker|IOIDOutput\" } }\n"
       "pcm.bare { type null hint { show on } }\n",
       "mic (Microphone; front),both (Both ways),bare", "both (Both ways),spk (Speaker),bare"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    AlsaConfig config(c.config);
    Rig rig;
    rig.script("load s = sound.in\nload o = sound.out");
    EXPECT_EQ(rig.exec("s.devices()"), c.inputs);
    EXPECT_EQ(rig.exec("o.devices()"), c.outputs);
  }
}

TEST(Sound, AbortingErrorsEndTheRun) {
  const std::string record = "load s = sound.in\nload k = test.sink\nk.a = s.ch1.out";
  const std::string play = "load g = siggen\ng.samplerate = 8000\ng.reclen = 8\nload o = sound.out\no.ch1.in = g.out";
  struct Case {
    const char* config;  // null: the file devices
    std::string setup;
    std::vector<const char*> logged;
  };
  const Case cases[] = {
      {"", record, {"s: Error - No sound input device found"}},
      {"", play, {"o: Error - No sound output device found"}},
      {nullptr, record + "\ns.device = 2", {"s: Error - Sound device 2 not found"}},
      {nullptr, play + "\no.device = 1", {"o: Error - Sound device 1 not found"}},
      {"pcm.rec { type file slave.pcm { type null } file \"/dev/null\" infile \"$DIR/none/in.raw\"\n"
       "  hint { show on description \"Broken, recorder|IOIDInput\" } }\n",
       record,
       {"s: ALSA snd_pcm_file_open: ", "s: Error - Cannot open sound device rec (Broken; recorder): No such file or directory"}},
      {nullptr, "load g = siggen\nload o = sound.out\no.stereo = 1\no.ch2.in = g.out", {"o: Error - Input \"ch1.in\" is not linked."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged.back());
    AlsaConfig config(c.config ? c.config : filePcms());
    writeSamples(config.dir / "in.raw", kSamples);
    Rig rig;
    rig.script(c.setup);
    ASSERT_TRUE(rig.run(3));
    const std::string log = rig.log();
    EXPECT_TRUE(rig.aborted()) << log;
    for (const char* line : c.logged) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("Running", log.find("Acquisition aborted")), std::string::npos) << "no second pass";
  }
}

TEST(Sound, RecordsKnownSamplesAsVolts) {
  struct Case {
    int stereo, rate, reclen;
    const char* calibration;
    double (*volts)(int16_t raw, int channel);
  };
  const Case cases[] = {
      {0, 44100, 12, "", [](int16_t r, int) { return r / 32768.0; }},  // full scale is one volt
      {1, 8000, 6, "s.ch1.gain = 4\ns.ch1.offset = 1\ns.ch2.gain = 0.5\ns.ch2.offset = -0.25",
       [](int16_t r, int c) { return c ? r / 131072.0 - 0.25 : r / 16384.0 + 1; }},
      {1, 22050, 6, "s.ch1.gain = 0.3\ns.ch1.offset = -1.25\ns.ch2.gain = 7.1\ns.ch2.offset = 0.1",  // bit for bit
       [](int16_t r, int c) { return c ? r / 32768.0 * 7.1 / 2 + 0.1 : r / 32768.0 * 0.3 / 2 + -1.25; }},
      {0, 11025, 5, "", [](int16_t r, int) { return r / 32768.0; }},  // a shorter record
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    AlsaConfig config(filePcms());
    writeSamples(config.dir / "in.raw", kSamples);
    Rig rig;
    rig.script("load s = sound.in\nload k = test.sink\nk.a = s.ch1.out\nk.b = s.ch2.out\ns.stereo = " + std::to_string(c.stereo) +
               "\ns.samplerate = " + std::to_string(c.rate) + "\ns.reclen = " + std::to_string(c.reclen) + "\n" + c.calibration);
    ASSERT_TRUE(rig.run(1));
    ASSERT_FALSE(rig.aborted()) << rig.log();
    const int channels = c.stereo + 1;
    EXPECT_EQ(rig.out("ch2.out")->count, c.stereo ? c.reclen : 0) << "no right channel in mono";
    for (int ch = 0; ch < channels; ++ch) {
      const CBfr* b = rig.out(ch ? "ch2.out" : "ch1.out");
      EXPECT_EQ(b->interval, 1.0 / c.rate);
      const std::vector<double> v = values(b);
      ASSERT_EQ(v.size(), static_cast<size_t>(c.reclen));
      for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(v[i], c.volts(kSamples[i * channels + ch], ch)) << ch << ", " << i;
    }
  }
}

TEST(Sound, FreezeKeepsTheRecordAndTheNextRecordContinues) {
  AlsaConfig config(filePcms());
  writeSamples(config.dir / "in.raw", {-5000, -4000, -3000, -2000, -1000, 0, 1000, 2000});
  Rig rig;
  rig.script("load s = sound.in\nload k = test.sink\nk.a = s.ch1.out\ns.reclen = 4\ns.hor.offset = 0.25\ns.hor.offset.additive = 1");
  ASSERT_TRUE(rig.run(1));
  const CBfr* b = rig.out("ch1.out");
  const int32_t tag = b->tag;
  const std::vector<double> first{-5000 / 32768.0, -4000 / 32768.0, -3000 / 32768.0, -2000 / 32768.0};
  EXPECT_EQ(values(b), first);
  rig.exec("s.freeze = 1");
  ASSERT_TRUE(rig.run(2));
  EXPECT_EQ(b->tag, tag);
  EXPECT_EQ(values(b), first);
  EXPECT_EQ(b->xstart, 0.25) << "a frozen record keeps its time too";
  rig.exec("s.freeze = 0");
  ASSERT_TRUE(rig.run(1));
  EXPECT_EQ(b->tag, tag + 1);
  EXPECT_EQ(values(b), (std::vector<double>{-1000 / 32768.0, 0, 1000 / 32768.0, 2000 / 32768.0})) << "read on from the last record";
  EXPECT_EQ(b->xstart, 0.5) << "additive offsets add up per record";
  EXPECT_FALSE(rig.aborted()) << rig.log();
}

TEST(Sound, AnAbortKeepsTheLastRecordAndStopOpensTheDeviceAnew) {
  AlsaConfig config(filePcms());
  writeSamples(config.dir / "in.raw", kSamples);
  CGlobalData g;
  KvCreateBlock block{"s", &g, nullptr, "in"};
  CSoundIn s(block);
  s.reclen = 4;
  auto record = [&](size_t from) {
    std::vector<double> v;
    for (size_t i = from; i < from + 4; ++i) v.push_back(kSamples[i] / 32768.0);
    return v;
  };
  s.Record();
  EXPECT_EQ(values(&s.out[0]), record(0));
  const int32_t tag = s.out[0].tag;
  g.abort.store(1);  // seen before the first slice: no part record replaces the last
  s.Record();
  EXPECT_EQ(s.out[0].tag, tag);
  EXPECT_EQ(values(&s.out[0]), record(0));
  g.abort.store(0);
  s.Record();
  EXPECT_EQ(values(&s.out[0]), record(4)) << "the open device reads on";
  s.stopRequest.store(1);
  s.Record();
  EXPECT_EQ(values(&s.out[0]), record(0)) << "stopped, the device was closed; opened again, its file starts over";
}

TEST(Sound, PlaysTheInverseOfARecordClippedTo16Bits) {
  struct Case {
    int stereo, playLength;
    const char* calibration;
    int16_t (*expect)(int16_t recorded);
  };
  const Case cases[] = {
      {0, 12, "s.ch1.gain = 0.3\ns.ch1.offset = -1.25\no.ch1.gain = 0.3\no.ch1.offset = -1.25", [](int16_t r) { return r; }},
      {1, 6, "s.ch1.gain = 7\ns.ch2.gain = 0.1\ns.ch2.offset = 3\no.ch1.gain = 7\no.ch2.gain = 0.1\no.ch2.offset = 3",
       [](int16_t r) { return r; }},
      {1, 6, "o.ch1.gain = 1\no.ch2.gain = 1", [](int16_t r) { return clip(2L * r); }},  // half the gain
      {0, 12, "o.ch1.offset = 0.5", [](int16_t r) { return clip(r - 16384L); }},         // half a volt lower
      {0, 5, "", [](int16_t r) { return r; }},                                            // at most reclen samples
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.calibration);
    AlsaConfig config(filePcms());
    writeSamples(config.dir / "in.raw", kSamples);
    Rig rig;
    const int channels = c.stereo + 1, frames = 12 / channels;
    rig.script("load s = sound.in\nload o = sound.out\no.ch1.in = s.ch1.out\no.ch2.in = s.ch2.out\ns.stereo = " +
               std::to_string(c.stereo) + "\no.stereo = " + std::to_string(c.stereo) + "\ns.reclen = " + std::to_string(frames) +
               "\no.reclen = " + std::to_string(c.playLength) + "\n" + c.calibration);
    ASSERT_TRUE(rig.run(1));
    ASSERT_FALSE(rig.aborted()) << rig.log();
    std::vector<int16_t> want;
    for (int i = 0; i < std::min(frames, c.playLength) * channels; ++i) want.push_back(c.expect(kSamples[static_cast<size_t>(i)]));
    EXPECT_EQ(rig.played(config), want);
  }
}

TEST(Sound, PlaysAtTheRecordsRateUnlessOverridden) {
  struct Case {
    const char* setup;
    uint32_t rate;
    uint16_t channels;
  };
  const Case cases[] = {{"o.samplerate = 8000", 22050, 1}, {"o.samplerate = 8000\no.samplerate.override = 1", 8000, 1}, {"o.stereo = 1", 22050, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    AlsaConfig config(filePcms("wav"));
    Rig rig;
    rig.script("load g = siggen\ng.type = \"dc\"\ng.offset = 0.5\ng.samplerate = 22050\ng.reclen = 3\nload o = sound.out\n"
               "o.ch1.in = g.out\no.ch2.in = g.out\n" + std::string(c.setup));
    ASSERT_TRUE(rig.run(1));
    ASSERT_FALSE(rig.aborted()) << rig.log();
    const std::vector<int16_t> file = rig.played(config);  // a 44-byte header, then the samples
    ASSERT_EQ(file.size(), 22u + 3u * c.channels);
    EXPECT_EQ(static_cast<uint16_t>(file[11]), c.channels);
    EXPECT_EQ(static_cast<uint16_t>(file[12]) | static_cast<uint32_t>(static_cast<uint16_t>(file[13])) << 16, c.rate);
    EXPECT_EQ(std::vector<int16_t>(file.begin() + 22, file.end()), std::vector<int16_t>(3u * c.channels, 16384));
  }
}

TEST(Sound, StopClosesTheDeviceAtTheWorkersNextStep) {
  const char* const setup = "load g = siggen\ng.type = \"dc\"\ng.offset = -0.25\ng.samplerate = 8000\ng.reclen = 4\n"
                            "load o = sound.out\no.ch1.in = g.out";
  for (const bool stop : {false, true}) {
    AlsaConfig config(filePcms());
    Rig rig;
    rig.script(setup);
    ASSERT_TRUE(rig.run(1));
    if (stop) rig.exec("o.stop()");
    ASSERT_TRUE(rig.run(1));
    // A device opened again starts its file anew: one record instead of two.
    EXPECT_EQ(rig.played(config), std::vector<int16_t>(stop ? 4 : 8, -8192)) << stop;
  }
  // Asked for while passes run, from the user-interface thread: whole records, nothing else.
  AlsaConfig config(filePcms());
  Rig rig;
  rig.script(std::string(setup) + "\ng.reclen = 64");
  rig.idle.Reset();
  rig.engine.Acq().run(INT32_MAX);
  for (int i = 0; i < 20; ++i) {
    rig.exec("o.stop()");
    WaitPumping(nullptr, 0, 2);
  }
  rig.engine.Acq().stop();
  KvWaitable* w = &rig.idle;
  ASSERT_EQ(WaitPumping(&w, 1, 20000), 0);
  EXPECT_FALSE(rig.aborted()) << rig.log();
  const std::vector<int16_t> file = rig.played(config);
  EXPECT_FALSE(file.empty());
  EXPECT_EQ(file.size() % 64, 0u);
  EXPECT_EQ(file, std::vector<int16_t>(file.size(), -8192));
}
