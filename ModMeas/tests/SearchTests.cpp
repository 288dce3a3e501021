// The vector search against the scalar reference, on every instruction set the machine has:
// the search seam alone over every condition and start, then whole edge scans of noisy
// records of every sample type, with NaN, samples exactly on a threshold, every record
// length around the block sizes, every edge selection and kind, ranges and aborts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "KvDll/HeadlessWnd.h"
#include "ModMeas/Channel.h"
#include "ModMeas/EdgeSearch.h"

namespace {

const SearchTarget kVector[] = {SearchTarget::Sse2, SearchTarget::Avx2, SearchTarget::Avx512};

// Restores the machine's own choice however the test ends.
struct Forced {
  SearchTarget before = edgesearch::Current();
  ~Forced() { edgesearch::Force(before); }
};

class Owner final : public CLocalData {
 public:
  using CLocalData::CLocalData;
};

// Samples on a quarter grid, so that many lie exactly on the quarter-grid thresholds.
template <class T>
std::vector<T> noisySquare(long n, std::mt19937& rng, bool nan, double scale) {
  std::vector<T> s(static_cast<size_t>(n) + 3);
  std::uniform_int_distribution<int> noise(-3, 3), period(6, 90), nanAt(0, 200);
  double level = -1;
  long next = period(rng);
  for (long i = 0; i < n; ++i) {
    if (i == next) level = -level, next += period(rng);
    double x = (level * 4 + noise(rng)) / 4.0 * scale;
    s[static_cast<size_t>(i)] = static_cast<T>(x);
    if (nan && nanAt(rng) == 0) s[static_cast<size_t>(i)] = std::numeric_limits<T>::quiet_NaN();
  }
  return s;
}

template <class T>
void searchSeamAgrees(SearchTarget target) {
  std::mt19937 rng(7);
  const std::vector<T> s = noisySquare<T>(700, rng, std::numeric_limits<T>::has_quiet_NaN, sizeof(T) == 2 ? 400 : 1);
  const double q = sizeof(T) == 2 ? 100 : 0.25;
  // Levels on the grid, between grid points, and a float's rounding either way.
  const double levels[] = {0, q, -q, 0.5 * q, -1.5 * q, 0.1, -0.1, 1.0 / 3, 2 * q + 1e-9};
  const Forced forced;
  for (double level : levels)
    for (SearchOp op : {whileAbove, whileBelow, whileAtOrAbove, whileAtOrBelow}) {
      ASSERT_TRUE(edgesearch::Force(SearchTarget::Scalar));
      const auto ref = edgesearch::Make<T>(op, level);
      ASSERT_TRUE(edgesearch::Force(target));
      const auto fast = edgesearch::Make<T>(op, level);
      for (long from = 0; from < 200; ++from) {
        for (long end : {from, from + 1, from + 7, from + 64, from + 129, 700L}) {
          ASSERT_EQ(fast(s.data(), from, end), ref(s.data(), from, end))
                << edgesearch::Name(target) << " op " << op << " level " << level << " from " << from << " end " << end;
        }
      }
    }
}

struct Rig {
  CGlobalData g;
  KvWnd logParent = KvCreateHeadlessParent(100, 100);
  KvCreateBlock block{"m", &g, nullptr, ""};
  Owner owner{block};
  CStatus status;
  int32_t rangeStart = -1, rangeStop = -1;
  CChannel ck{owner, status, &rangeStart, &rangeStop, "Clock", "ck", false};
  CBfr in;
  Rig() { CLog::Init(logParent, 0); }
  ~Rig() {
    CLog::End();
    KvDestroyHeadlessParent(logParent);
  }
  void set(const char* name, double x) {
    VPARAM v;
    v.value.r8 = x;
    ASSERT_EQ(ck.Settings(parWrite, name, v), cmdDone) << name;
  }
};

// The thresholds of a scan: a fall mid of its own, one shared with the rise, and no band.
struct Levels {
  double mid, fallMid, hysteresis;
};
const Levels kLevels[] = {{0, 0.25, 0.25}, {0, 0, 0.25}, {0, 0, 0}, {0.125, 0, 0.5}};

// Every list of every selection, in one text of exact bits.
template <class T>
std::string scanAll(const std::vector<T>& samples, enumBfrType type, double scale, int32_t stop, bool abort,
                    const Levels& levels) {
  Rig rig;
  rig.in.SetBfrType(type);
  const long n = static_cast<long>(samples.size()) - 3;
  EXPECT_TRUE(rig.in.SetSize(n));
  std::memcpy(rig.in.data, samples.data(), static_cast<size_t>(n) * sizeof(T));
  rig.in.count = rig.in.valid = static_cast<int32_t>(n);
  rig.in.scale = scale;
  VPARAM v;
  v.value.p = &rig.in;
  rig.ck.Settings(parWrite, "ck.in", v);
  rig.set("ck.mid", levels.mid);
  rig.set("ck.hysteresis", levels.hysteresis);
  rig.set("ck.high", 0.5);
  rig.set("ck.low", -0.5);
  rig.set("ck.fall.mid", levels.fallMid);
  rig.rangeStop = stop;
  std::string all;
  for (const char* sel : {"rise", "fall", "both", "rise+fall", "fall+rise"}) {
    VPARAM t;
    t.value.s = sel;
    rig.ck.Settings(parWrite, "ck.edgetype", t);
    for (int32_t kind : {kEdgeMid, kEdgeRise, kEdgeFall}) {
      rig.g.abort = abort ? 1 : 0;
      rig.ck.Invalidate();
      const CBfr* list = rig.ck.GetEdges(kind);
      const BfrEdgeHeader* h = list->Edges();
      all += std::to_string(kind) + ":" + std::to_string(h->code) + ":" + std::to_string(list->valid) + ":";
      all.append(reinterpret_cast<const char*>(h->edges), static_cast<size_t>(list->valid) * sizeof(double));
      all += std::to_string(rig.ck.risingCount) + "," + std::to_string(rig.ck.fallingCount) + ";";
    }
  }
  return all;
}

template <class T>
void scansAgree(SearchTarget target, enumBfrType type, double scale) {
  const Forced forced;
  std::mt19937 rng(11);
  // Lengths around the word and beyond the block of 4096 samples the latch walk takes at once.
  std::vector<long> lengths;
  for (long n = 1; n < 300; n += (n < 140 ? 1 : 37)) lengths.push_back(n);
  for (long n : {4095L, 4097L, 4160L, 9001L}) lengths.push_back(n);
  for (long n : lengths) {
    const std::vector<T> s = noisySquare<T>(n, rng, std::numeric_limits<T>::has_quiet_NaN && n % 3 != 0, 1 / scale);
    for (const Levels& levels : kLevels)
      for (int32_t stop : {-1, static_cast<int32_t>(n / 2)})
        for (bool abort : {false, true}) {
          ASSERT_TRUE(edgesearch::Force(SearchTarget::Scalar));
          const std::string ref = scanAll(s, type, scale, stop, abort, levels);
          ASSERT_TRUE(edgesearch::Force(target));
          ASSERT_EQ(scanAll(s, type, scale, stop, abort, levels), ref)
              << edgesearch::Name(target) << " length " << n << " stop " << stop << " abort " << abort << " fall mid "
              << levels.fallMid << " hysteresis " << levels.hysteresis;
        }
  }
}

// Swings so wide that an interpolation overflows and gives no crossing: the walk leaves what
// follows to the searches, as the reference does.
TEST(VectorSearch, CrossingsThatAreNotFiniteAgree) {
  const Forced forced;
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> pick(0, 3);
  const double values[] = {-1.7e308, 1.7e308, -0.5e308, 0.9e308};
  std::vector<double> s(5003);
  for (double& x : s) x = values[pick(rng)];
  const Levels wide{0.2e308, 0.2e308, 0.1e308};
  for (SearchTarget t : kVector) {
    if (!edgesearch::Supported(t)) continue;
    ASSERT_TRUE(edgesearch::Force(SearchTarget::Scalar));
    const std::string ref = scanAll(s, bfrR8, 1.0, -1, false, wide);
    ASSERT_TRUE(edgesearch::Force(t));
    EXPECT_EQ(scanAll(s, bfrR8, 1.0, -1, false, wide), ref) << edgesearch::Name(t);
  }
}

}  // namespace

TEST(VectorSearch, SeamAgreesWithTheScalarReference) {
  int tried = 0;
  for (SearchTarget t : kVector) {
    if (!edgesearch::Supported(t)) continue;
    ++tried;
    searchSeamAgrees<int16_t>(t);
    searchSeamAgrees<float>(t);
    searchSeamAgrees<double>(t);
  }
  EXPECT_GE(tried, 1) << "every x86-64 machine has SSE2";
}

TEST(VectorSearch, EdgeListsAreIdenticalOnEveryTarget) {
  for (SearchTarget t : kVector) {
    if (!edgesearch::Supported(t)) continue;
    scansAgree<int16_t>(t, bfrI2, 1.0 / 400);
    scansAgree<float>(t, bfrR4, 1.0);
    scansAgree<double>(t, bfrR8, 1.0);
  }
}

TEST(VectorSearch, ForcingATargetTheMachineLacksChangesNothing) {
  const Forced forced;
  ASSERT_TRUE(edgesearch::Force(SearchTarget::Scalar));
  for (SearchTarget t : kVector)
    if (!edgesearch::Supported(t)) {
      EXPECT_FALSE(edgesearch::Force(t));
      EXPECT_EQ(edgesearch::Current(), SearchTarget::Scalar);
    }
  EXPECT_TRUE(edgesearch::Supported(SearchTarget::Sse2));
}

// Records far longer than the stretch the non-finite count runs ahead of the searches, and
// than the list's first size: the same lists on every target, and every NaN and infinity
// counted once, whichever list is asked for first and wherever the range starts. Without NaN
// the latch reads through the infinities and counts them itself.
template <class T>
void longRecordsAgreeAndCount(enumBfrType type, bool nan) {
  const Forced forced;
  std::mt19937 rng(23);
  const long n = 70001;
  std::vector<T> s = noisySquare<T>(n, rng, nan, 1);
  for (long at : {0L, 16383L, 16384L, 16385L, 32767L, 49152L, n - 1}) s[static_cast<size_t>(at)] = at % 2 ? HUGE_VAL : -HUGE_VAL;
  for (int32_t first : {-1, 5000}) {
    const long from = first < 0 ? 0 : first;
    long expected = 0;
    for (long i = from; i < n; ++i) expected += !std::isfinite(s[static_cast<size_t>(i)]);
    const std::string told = "ck.in holds " + std::to_string(expected) + " non-finite samples";
    const int32_t orders[2][3] = {{kEdgeMid, kEdgeRise, kEdgeFall}, {kEdgeFall, kEdgeMid, kEdgeRise}};
    for (const auto& order : orders) {
      std::string reference;
      for (SearchTarget t : {SearchTarget::Scalar, SearchTarget::Sse2, SearchTarget::Avx2, SearchTarget::Avx512}) {
        if (!edgesearch::Force(t)) continue;
        Rig rig;
        rig.in.SetBfrType(type);
        ASSERT_TRUE(rig.in.SetSize(n));
        std::memcpy(rig.in.data, s.data(), static_cast<size_t>(n) * sizeof(T));
        rig.in.count = rig.in.valid = static_cast<int32_t>(n);
        rig.in.tag = 1;
        rig.rangeStart = first;
        VPARAM v;
        v.value.p = &rig.in;
        rig.ck.Settings(parWrite, "ck.in", v);
        VPARAM both;
        both.value.s = "both";
        rig.ck.Settings(parWrite, "ck.edgetype", both);
        std::string all;
        for (int k = 0; k < 3; ++k) {
          rig.ck.NewPass();
          const CBfr* list = rig.ck.GetEdges(order[k]);
          all.append(reinterpret_cast<const char*>(list->Edges()->edges), static_cast<size_t>(list->valid) * sizeof(double));
          HeadlessWndState log;
          ASSERT_TRUE(KvHeadlessState(CLog::Window(), log));
          size_t times = 0;
          for (size_t at = log.text.find(told); at != std::string::npos; at = log.text.find(told, at + 1)) ++times;
          EXPECT_EQ(times, static_cast<size_t>(k + 1)) << edgesearch::Name(t) << " list " << order[k] << " from " << first << "\n" << log.text;
        }
        EXPECT_GT(all.size(), 1000 * sizeof(double));
        if (t == SearchTarget::Scalar) reference = all;
        EXPECT_EQ(all, reference) << edgesearch::Name(t) << " from " << first << " NaN " << nan;
      }
    }
  }
}

TEST(VectorSearch, LongRecordsAgreeAndCountEveryNonFiniteSample) {
  for (bool nan : {true, false}) {
    longRecordsAgreeAndCount<float>(bfrR4, nan);
    longRecordsAgreeAndCount<double>(bfrR8, nan);
  }
}
