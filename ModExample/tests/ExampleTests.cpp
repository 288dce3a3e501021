// The example module as a user meets it: built, loaded by kvsh, and measured by Meas.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// kvsh --records over the script; the answers, one per line.
std::string run(const std::string& script, int& status) {
  char dir[] = "/tmp/kvexampleXXXXXX";
  const std::string tmp = mkdtemp(dir);
  std::ofstream(tmp + "/in") << script;
  const std::string cmd =
      std::string("cd ") + tmp + " && " + KVSH_PATH + " --records --lib " + KV_TEST_LIB_DIR + " <in >out 2>err";
  const int raw = std::system(cmd.c_str());
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream f(tmp + "/out");
  std::string out(std::istreambuf_iterator<char>(f), {});
  std::system(("rm -rf " + tmp).c_str());
  return out;
}

// The last answer's number.
double lastNumber(const std::string& out) {
  const size_t tab = out.rfind('\t');
  return tab == std::string::npos ? NAN : std::strtod(out.c_str() + tab + 1, nullptr);
}

}  // namespace

TEST(Example, ScalesItsInputAsMeasuredAndRefusesGainsItCannotUse) {
  const std::string setup =
      "load g = siggen\ng.type = \"square\"\ng.freq = 1M\ng.pk2pk = 1\ng.samplerate = 1G\ng.reclen = 10K\n"
      "g.risetime = 50n\nload x = example\nx.in = g.out\nload m = meas.ckriserate\nm.ck.in = x.out\n"
      "m.ck.mid = 0\nm.ck.hysteresis = 0.05\nm.ck.low = -0.2\nm.ck.high = 0.2\n";
  double rate[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    int status = -1;
    const std::string out = run(setup + "x.gain = " + (k ? "3" : "1") + "\nkvs.run(318207)\nm.CkRiseRate.mean?\n", status);
    ASSERT_EQ(status, 0) << out;
    rate[k] = lastNumber(out);
  }
  ASSERT_GT(rate[0], 0);
  EXPECT_NEAR(rate[1] / rate[0], 3, 0.03) << "three times the gain, three times the slope";

  int status = -1;
  const std::string out = run("load x = example\nx.gain = 1e300\nx.gain = -2e6\nx.gain = 2.5\nx.gain\nx.settings\nx.oports\n",
                              status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "0\t\n-1\tValue not accepted \"x.gain = 1e300\"\n-1\tValue not accepted \"x.gain = -2e6\"\n0\t\n0\t2.5\n"
                 "0\tgain\n0\tout\n");
}
