// Sound.bin on the real engine, against ALSA configurations of the tests' own (never a real
// device): file PCMs whose input file holds known 16-bit samples and whose output file
// receives what is played, over ALSA's null PCM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KvCore/Engine.h"
#include "KvDll/HeadlessWnd.h"
#include "ModSound/Sound.h"

namespace fs = std::filesystem;

namespace {

std::vector<int16_t> readSamples(const fs::path& p, size_t skip = 0) {
  std::ifstream f(p, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(f), {});
  if (bytes.size() < skip) return {};
  std::vector<int16_t> s((bytes.size() - skip) / 2);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[skip + 2 * i]) | static_cast<uint8_t>(bytes[skip + 2 * i + 1]) << 8);
  return s;
}

void writeSamples(const fs::path& p, const std::vector<int16_t>& s) {
  std::ofstream f(p, std::ios::binary);
  for (const int16_t x : s) {
    const char b[2] = {static_cast<char>(x & 0xFF), static_cast<char>((x >> 8) & 0xFF)};
    f.write(b, 2);
  }
}

// A temporary folder with an ALSA configuration of its own, in force while it lives.
struct AlsaConfig {
  fs::path dir;
  explicit AlsaConfig(const std::string& text) {
    char t[] = "/tmp/kvsoundXXXXXX";
    dir = mkdtemp(t);
    std::string body = text;
    for (size_t at; (at = body.find("$DIR")) != std::string::npos;) body.replace(at, 4, dir.string());
    std::ofstream(dir / "asoundrc") << body;
    setenv("ALSA_CONFIG_PATH", (dir / "asoundrc").c_str(), 1);
  }
  ~AlsaConfig() {
    unsetenv("ALSA_CONFIG_PATH");
    fs::remove_all(dir);
  }
};

// A capture PCM "rec" reading $DIR/in.raw, a playback PCM "play" writing $DIR/<file>.
std::string filePcms(const char* playFormat = "raw") {
  return std::string(
             "pcm.rec { type file slave.pcm { type null } file \"/dev/null\" infile \"$DIR/in.raw\" format \"raw\"\n"
             "  hint { show on description \"Recorder|IOIDInput\" } }\n"
             "pcm.play { type file slave.pcm { type null } file \"$DIR/out.raw\" format \"") +
         playFormat + "\"\n  hint { show on description \"Player|IOIDOutput\" } }\n";
}

class Rig {
 public:
  CEngine engine;
  KvWnd logParent = 0;
  KvEvent idle{true, false};

  Rig() {
    engine.SetPathLib(CStr(KV_TEST_LIB_DIR));
    logParent = KvCreateHeadlessParent(400, 300);
    engine.SetLogWindow(logParent);
    engine.SetLogLevel(-1);
    engine.onAcqIdle = [this] { idle.Set(); };
  }
  ~Rig() {
    engine.Components().DestroyAll();
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  std::string ok(const std::string& line) {
    CStr answer;
    EXPECT_EQ(engine.Execute(line.c_str(), answer), 0) << line << " -> " << answer.GetBfr();
    // An empty answer comes back as the line itself.
    return line == answer.GetBfr() ? "" : answer.GetBfr();
  }
  std::string bad(const std::string& line) {
    CStr answer;
    EXPECT_EQ(engine.Execute(line.c_str(), answer), -1) << line << " -> " << answer.GetBfr();
    return answer.GetBfr();
  }
  void lines(std::initializer_list<std::string> ls) {
    for (const std::string& l : ls) ok(l);
  }
  std::string log() {
    HeadlessWndState s;
    return KvHeadlessState(CLog::Window(), s) ? s.text : "";
  }
  bool aborted() { return log().find("Acquisition aborted") != std::string::npos; }
  bool run(long passes, long ms = 20000) {
    idle.Reset();
    engine.Acq().run(passes);
    KvWaitable* w = &idle;
    return WaitPumping(&w, 1, ms) == 0;
  }
  CBfr* out(const char* comp, const char* port) { return engine.Components().PortBuffer(engine.Components().Find(comp), port); }
};

std::vector<double> values(const CBfr* b) {
  if (!b || !b->data) return {};
  const double* d = static_cast<const double*>(b->data);
  return std::vector<double>(d, d + b->count);
}

// Samples that reach both ends of the range and both sides of zero.
const std::vector<int16_t> kSamples = {0, 1, -1, 32767, -32768, 12345, -23456, 16384, -16384, 7, 300, -301};

}  // namespace

TEST(Sound, SettingsLabelsUnitsDefaultsAndRefusals) {
  struct Case {
    const char* variant;
    const char* key;
    const char* label;
    const char* unit;
    double value;
  };
  const Case cases[] = {
      {"in", "device", "Sound-In Device", "", 0},    {"out", "device", "Sound-Out Device", "", 0},
      {"in", "stereo", "Stereo", "", 0},             {"out", "ch1.gain", "CHL Gain", "V", 2},
      {"in", "ch2.gain", "CHR Gain", "V", 2},        {"in", "ch1.offset", "CHL Offset", "V", 0},
      {"out", "ch2.offset", "CHR Offset", "V", 0},   {"in", "samplerate", "Sample Rate", "S/s", 44100},
      {"out", "reclen", "Rec. Length", "", 1024},    {"out", "samplerate.override", "Override", "", 0},
      {"in", "freeze", "Freeze Signal", "", 0},      {"in", "hor.offset", "Horizontal Offset", "s", 0},
      {"in", "hor.offset.additive", "Additive", "", 0}, {"in", "gui.more", "More", "", 0},
  };
  CGlobalData g;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + c.key);
    KvCreateBlock block{"s", &g, nullptr, c.variant};
    CSoundIn in(block);
    CSoundOut out(block);
    CSound& s = std::string(c.variant) == "in" ? static_cast<CSound&>(in) : out;
    CStr text;
    VPARAM v;
    v.value.str = &text;
    ASSERT_EQ(s.Settings(parLabel, c.key, v), cmdDone);
    EXPECT_STREQ(text.GetBfr(), c.label);
    ASSERT_EQ(s.Settings(parUnit, c.key, v), cmdDone);
    EXPECT_STREQ(text.GetBfr(), c.unit);
    VPARAM d, r;
    ASSERT_EQ(s.Settings(parDescribe, c.key, d), cmdDone);
    ASSERT_EQ(s.Settings(parRead, c.key, r), cmdDone);
    EXPECT_EQ(d.vt == vtR8 ? r.value.r8 : r.value.i4, c.value);
  }

  // Through the engine: values it must refuse leave the setting as it was.
  Rig rig;
  rig.lines({"load s = sound.in", "load o = sound.out", "s.samplerate = 22050", "s.reclen = 10", "s.ch1.gain = 4",
             "o.device = 1", "s.stereo = 1"});
  struct Refusal {
    const char* line;
    const char* key;
    const char* kept;
  };
  const Refusal refusals[] = {
      {"s.samplerate = 0", "s.samplerate", "22050"}, {"s.samplerate = -8000", "s.samplerate", "22050"},
      {"s.reclen = 0", "s.reclen", "10"},            {"s.ch1.gain = 0", "s.ch1.gain", "4"},
      {"o.device = -1", "o.device", "1"},            {"s.stereo = 2", "s.stereo", "1"},
  };
  for (const Refusal& r : refusals) {
    EXPECT_EQ(rig.bad(r.line), std::string("Value not accepted \"") + r.line + "\"");
    EXPECT_EQ(rig.ok(r.key), r.kept) << r.line;
  }
  EXPECT_EQ(rig.bad("s.samplerate.override"), "Setting not found \"s.samplerate.override\"");
  EXPECT_EQ(rig.bad("o.freeze"), "Setting not found \"o.freeze\"");
  const struct {
    const char* line;
    const char* answer;
  } texts[] = {
      {"s.version", "1.0.0"},
      {"s.gui.names", "gui"},
      {"o.gui.names", "gui"},
      {"s.gui.class", "KvSound.Import"},
      {"o.gui.class", "KvSound.Export"},
      {"s.oports", "ch1.out,ch2.out"},
      {"s.iports", ""},
      {"o.iports", "ch1.in,ch2.in"},
      {"o.functions", "devices,stop"},
      {"o.settings", "device,stereo,ch1.gain,ch1.offset,ch2.gain,ch2.offset,samplerate,samplerate.override,reclen,gui.caption"},
  };
  for (const auto& t : texts) EXPECT_EQ(rig.ok(t.line), t.answer) << t.line;
  EXPECT_NE(rig.ok("s.symbol").find(",Sound In,"), std::string::npos);
  EXPECT_NE(rig.ok("o.symbol").find(",Sound Out,"), std::string::npos);
  rig.ok("o.gui.caption = \"Left speaker\"");
  EXPECT_EQ(rig.ok("o.gui.caption"), "Left speaker");
  // Every listed setting reads, so a saved state replays.
  for (const char* c : {"s", "o"}) {
    const std::string list = rig.ok(std::string(c) + ".settings");
    for (size_t at = 0; at <= list.size();) {
      const size_t comma = std::min(list.find(',', at), list.size());
      rig.ok(std::string(c) + "." + list.substr(at, comma - at));
      at = comma + 1;
    }
  }
}

TEST(Sound, DeviceListsOfEachDirection) {
  struct Case {
    const char* name;
    const char* config;
    const char* inputs;
    const char* outputs;
  };
  const Case cases[] = {
      {"no device at all", "", "", ""},
      {"the system null left out",
       "pcm.null { type null hint { show on description \"Discard all samples\" } }\n", "", ""},
      {"directions, order, first line, comma",
       "pcm.mic { type null hint { show on description \"Microphone, front\nsecond line|IOIDInput\" } }\n"
       "pcm.both { type null hint { show on description \"Both ways\" } }\n"
       "pcm.spk { type null hint { show on description \"Speaker|IOIDOutput\" } }\n"
       "pcm.bare { type null hint { show on } }\n",
       "mic (Microphone; front),both (Both ways),bare", "both (Both ways),spk (Speaker),bare"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AlsaConfig config(c.config);
    Rig rig;
    rig.lines({"load s = sound.in", "load o = sound.out"});
    EXPECT_EQ(rig.ok("s.devices()"), c.inputs);
    EXPECT_EQ(rig.ok("o.devices()"), c.outputs);
  }
}

TEST(Sound, AbortingErrorsEndThePass) {
  struct Case {
    const char* name;
    const char* config;
    const char* setup;
    const char* message;
  };
  const Case cases[] = {
      {"no input device", "", "s.device = 0", "s: Error - No sound input device found"},
      {"no output device", "", "s.device = 0", "o: Error - No sound output device found"},
      {"index past the list", nullptr, "s.device = 2", "s: Error - Sound device 2 not found"},
      {"device that does not open",
       "pcm.rec { type file slave.pcm { type null } file \"/dev/null\" infile \"$DIR/none/in.raw\"\n"
       "  hint { show on description \"Broken, recorder|IOIDInput\" } }\n",
       "s.device = 0", "s: Error - Cannot open sound device rec (Broken; recorder): "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool output = std::string(c.message).rfind("o:", 0) == 0;
    AlsaConfig config(c.config ? c.config : filePcms());
    writeSamples(config.dir / "in.raw", kSamples);
    Rig rig;
    if (output)
      rig.lines({"load g = siggen", "g.samplerate = 8000", "g.reclen = 8", "load o = sound.out", "o.ch1.in = g.out"});
    else
      rig.lines({"load s = sound.in", "load k = test.sink", "k.a = s.ch1.out", c.setup});
    ASSERT_TRUE(rig.run(3));
    EXPECT_TRUE(rig.aborted());
    const std::string log = rig.log();
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
  }
}

TEST(Sound, RecordsKnownSamplesAsVolts) {
  struct Case {
    const char* name;
    int stereo;
    double gain[2], offset[2];
    int rate, reclen;
    double (*volts)(int16_t raw, int channel);  // null: the formula with this case's numbers
  };
  const Case cases[] = {
      {"mono, full scale is one volt", 0, {2, 2}, {0, 0}, 44100, 12, [](int16_t r, int) { return r / 32768.0; }},
      {"stereo, exact gains and offsets", 1, {4, 0.5}, {1, -0.25}, 8000, 6,
       [](int16_t r, int c) { return c ? r / 131072.0 - 0.25 : r / 16384.0 + 1; }},
      {"stereo, gains of no binary fraction", 1, {0.3, 7.1}, {-1.25, 0.1}, 22050, 6, nullptr},
      {"a shorter record", 0, {2, 2}, {0, 0}, 11025, 5, [](int16_t r, int) { return r / 32768.0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AlsaConfig config(filePcms());
    writeSamples(config.dir / "in.raw", kSamples);
    Rig rig;
    rig.lines({"load s = sound.in", "load k = test.sink", "k.a = s.ch1.out", "k.b = s.ch2.out"});
    rig.ok("s.stereo = " + std::to_string(c.stereo));
    rig.ok("s.samplerate = " + std::to_string(c.rate));
    rig.ok("s.reclen = " + std::to_string(c.reclen));
    for (int ch = 0; ch < 2; ++ch) {
      char line[128];
      std::snprintf(line, sizeof line, "s.ch%d.gain = %.17g", ch + 1, c.gain[ch]);
      rig.ok(line);
      std::snprintf(line, sizeof line, "s.ch%d.offset = %.17g", ch + 1, c.offset[ch]);
      rig.ok(line);
    }
    ASSERT_TRUE(rig.run(1));
    ASSERT_FALSE(rig.aborted()) << rig.log();
    const int channels = c.stereo ? 2 : 1;
    for (int ch = 0; ch < 2; ++ch) {
      const CBfr* b = rig.out("s", ch ? "ch2.out" : "ch1.out");
      ASSERT_NE(b, nullptr);
      if (ch >= channels) {
        EXPECT_EQ(b->count, 0) << "no right channel in mono";
        continue;
      }
      EXPECT_EQ(b->interval, 1.0 / c.rate);
      const std::vector<double> v = values(b);
      ASSERT_EQ(v.size(), static_cast<size_t>(c.reclen));
      for (size_t i = 0; i < v.size(); ++i) {
        const int16_t raw = kSamples[i * channels + ch];
        const double want = c.volts ? c.volts(raw, ch) : raw / 32768.0 * c.gain[ch] / 2 + c.offset[ch];
        EXPECT_EQ(v[i], want) << "channel " << ch << " sample " << i;
      }
    }
  }
}

TEST(Sound, FreezeKeepsTheRecordAndTheNextRecordContinues) {
  AlsaConfig config(filePcms());
  std::vector<int16_t> samples;
  for (int i = 0; i < 12; ++i) samples.push_back(static_cast<int16_t>(1000 * i - 5000));
  writeSamples(config.dir / "in.raw", samples);
  Rig rig;
  rig.lines({"load s = sound.in", "load k = test.sink", "k.a = s.ch1.out", "s.reclen = 4", "s.hor.offset = 0.25",
             "s.hor.offset.additive = 1"});
  ASSERT_TRUE(rig.run(1));
  const CBfr* b = rig.out("s", "ch1.out");
  const int32_t tag = b->tag;
  const std::vector<double> first = values(b);
  EXPECT_EQ(first, (std::vector<double>{-5000 / 32768.0, -4000 / 32768.0, -3000 / 32768.0, -2000 / 32768.0}));
  EXPECT_EQ(b->xstart, 0.25);
  rig.ok("s.freeze = 1");
  ASSERT_TRUE(rig.run(2));
  EXPECT_EQ(b->tag, tag);
  EXPECT_EQ(values(b), first);
  EXPECT_EQ(b->xstart, 0.25) << "a frozen record keeps its time too";
  rig.ok("s.freeze = 0");
  ASSERT_TRUE(rig.run(1));
  EXPECT_EQ(b->tag, tag + 1);
  EXPECT_EQ(values(b), (std::vector<double>{-1000 / 32768.0, 0, 1000 / 32768.0, 2000 / 32768.0}))
      << "the device is read on from where the last record ended";
  EXPECT_EQ(b->xstart, 0.5) << "additive offsets add up per record";
  EXPECT_FALSE(rig.aborted()) << rig.log();
}

// What sound.out wrote into its file, read once it is unloaded (which closes the device).
std::vector<int16_t> played(Rig& rig, const AlsaConfig& config, size_t header = 0) {
  rig.ok("unload o");
  return readSamples(config.dir / "out.raw", header);
}

int16_t clip(long x) { return static_cast<int16_t>(std::clamp(x, -32768L, 32767L)); }

TEST(Sound, PlaysTheInverseOfARecordClippedTo16Bits) {
  struct Case {
    const char* name;
    int stereo;
    const char* recordGains;  // script lines for s
    const char* playGains;    // and for o
    int playLength;
    int16_t (*expect)(int16_t recorded);
  };
  const Case cases[] = {
      {"mono, same calibration: the same samples", 0, "s.ch1.gain = 0.3\ns.ch1.offset = -1.25", "o.ch1.gain = 0.3\no.ch1.offset = -1.25",
       12, [](int16_t r) { return r; }},
      {"stereo, same calibration", 1, "s.ch1.gain = 7\ns.ch2.gain = 0.1\ns.ch2.offset = 3", "o.ch1.gain = 7\no.ch2.gain = 0.1\no.ch2.offset = 3",
       6, [](int16_t r) { return r; }},
      {"half the gain: twice the samples, clipped", 1, "", "o.ch1.gain = 1\no.ch2.gain = 1", 6,
       [](int16_t r) { return clip(2L * r); }},
      {"half a volt of offset: 16384 less, clipped", 0, "", "o.ch1.offset = 0.5", 12,
       [](int16_t r) { return clip(r - 16384L); }},
      {"at most reclen samples", 0, "", "", 5, [](int16_t r) { return r; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AlsaConfig config(filePcms());
    writeSamples(config.dir / "in.raw", kSamples);
    Rig rig;
    rig.lines({"load s = sound.in", "load o = sound.out", "o.ch1.in = s.ch1.out", "o.ch2.in = s.ch2.out"});
    const int channels = c.stereo ? 2 : 1;
    const int frames = 12 / channels;
    rig.ok("s.stereo = " + std::to_string(c.stereo));
    rig.ok("o.stereo = " + std::to_string(c.stereo));
    rig.ok("s.reclen = " + std::to_string(frames));
    rig.ok("o.reclen = " + std::to_string(c.playLength));
    for (const char* text : {c.recordGains, c.playGains})
      for (std::string t = text; !t.empty();) {
        const size_t nl = t.find('\n');
        rig.ok(t.substr(0, nl));
        t = nl == std::string::npos ? "" : t.substr(nl + 1);
      }
    ASSERT_TRUE(rig.run(1));
    ASSERT_FALSE(rig.aborted()) << rig.log();
    std::vector<int16_t> want;
    for (int i = 0; i < std::min(frames, c.playLength) * channels; ++i) want.push_back(c.expect(kSamples[static_cast<size_t>(i)]));
    EXPECT_EQ(played(rig, config), want);
  }
}

TEST(Sound, PlaysAtTheRecordsRateUnlessOverridden) {
  struct Case {
    const char* name;
    const char* setup;
    uint32_t rate;
    uint16_t channels;
  };
  const Case cases[] = {
      {"the record's own rate", "o.samplerate = 8000", 22050, 1},
      {"overridden", "o.samplerate = 8000\no.samplerate.override = 1", 8000, 1},
      {"stereo at the record's rate", "o.stereo = 1", 22050, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AlsaConfig config(filePcms("wav"));
    Rig rig;
    rig.lines({"load g = siggen", "g.type = \"dc\"", "g.offset = 0.5", "g.samplerate = 22050", "g.reclen = 3",
               "load o = sound.out", "o.ch1.in = g.out", "o.ch2.in = g.out"});
    for (std::string t = c.setup; !t.empty();) {
      const size_t nl = t.find('\n');
      rig.ok(t.substr(0, nl));
      t = nl == std::string::npos ? "" : t.substr(nl + 1);
    }
    ASSERT_TRUE(rig.run(1));
    ASSERT_FALSE(rig.aborted()) << rig.log();
    const std::vector<int16_t> file = played(rig, config);
    ASSERT_GE(file.size(), 22u + 3u * c.channels) << "a 44-byte header, then the samples";
    EXPECT_EQ(static_cast<uint16_t>(file[11]), c.channels);
    EXPECT_EQ(static_cast<uint16_t>(file[12]) | static_cast<uint32_t>(static_cast<uint16_t>(file[13])) << 16, c.rate);
    EXPECT_EQ(std::vector<int16_t>(file.begin() + 22, file.end()), std::vector<int16_t>(3u * c.channels, 16384));
  }
}

TEST(Sound, StopClosesTheDeviceAtTheWorkersNextStep) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped between passes" : "not stopped");
    AlsaConfig config(filePcms());
    Rig rig;
    rig.lines({"load g = siggen", "g.type = \"dc\"", "g.offset = -0.25", "g.samplerate = 8000", "g.reclen = 4",
               "load o = sound.out", "o.ch1.in = g.out"});
    ASSERT_TRUE(rig.run(1));
    if (stop) rig.ok("o.stop()");
    ASSERT_TRUE(rig.run(1));
    // A device opened again starts its file anew: one record instead of two.
    EXPECT_EQ(played(rig, config), std::vector<int16_t>(stop ? 4 : 8, -8192));
  }
}

TEST(Sound, StopWhilePassesRunLosesNoSample) {
  AlsaConfig config(filePcms());
  Rig rig;
  rig.lines({"load g = siggen", "g.type = \"dc\"", "g.offset = 1", "g.pk2pk = 0", "g.samplerate = 8000", "g.reclen = 64",
             "load o = sound.out", "o.ch1.in = g.out", "o.ch1.gain = 4"});
  rig.idle.Reset();
  rig.engine.Acq().run(INT32_MAX);
  for (int i = 0; i < 20; ++i) {
    rig.ok("o.stop()");
    KvWaitable* none = nullptr;
    WaitPumping(&none, 0, 2);
  }
  rig.engine.Acq().stop();
  KvWaitable* w = &rig.idle;
  ASSERT_EQ(WaitPumping(&w, 1, 20000), 0);
  EXPECT_FALSE(rig.aborted()) << rig.log();
  const std::vector<int16_t> file = played(rig, config);
  EXPECT_FALSE(file.empty());
  EXPECT_EQ(file.size() % 64, 0u) << "whole records only";
  EXPECT_EQ(file, std::vector<int16_t>(file.size(), 16384));
}
