#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "KvDll/Bfr.h"
#include "KvDll/GlobalData.h"
#include "KvDll/tests/TestSupport.h"

namespace {

template <class T>
T* as(void* p) {
  return static_cast<T*>(p);
}

}  // namespace

TEST(Bfr, ConstructedEmptyWithUnitScale) {
  CBfr b;
  EXPECT_EQ(b.magic, CBfr::kMagic);
  EXPECT_EQ(b.type, bfrEmpty);
  EXPECT_EQ(b.scale, 1.0);
  EXPECT_EQ(b.interval, 1.0);
  EXPECT_EQ(b.span, 1.0);
  EXPECT_EQ(b.offset, 0.0);
  EXPECT_EQ(b.maxCache, 1e308);
  EXPECT_EQ(b.minCache, 1e308);
  EXPECT_EQ(b.data, nullptr);
}

TEST(Bfr, EveryArrayTypeGetsItsArraysWithSpareElements) {
  struct Row {
    enumBfrType type;
    size_t element;
    int arrays;
  };
  const Row rows[] = {{bfrI2, 2, 1}, {bfrI4, 4, 1}, {bfrR4, 4, 1},       {bfrR8, 8, 1},
                      {bfrI1, 1, 1}, {bfrU1, 1, 1}, {bfrXY, 8, 2}, {bfrIntervals, 8, 3}};
  for (const Row& r : rows) {
    CBfr b;
    b.SetBfrType(r.type);
    ASSERT_TRUE(b.SetSize(10)) << r.type;
    EXPECT_EQ(b.capacity, 10);
    void* arrays[3] = {b.data, b.data2, b.data3};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(arrays[i] != nullptr, i < r.arrays) << r.type << " array " << i;
      // The three spare elements are writable (ASan checks the bounds).
      if (arrays[i]) static_cast<char*>(arrays[i])[13 * r.element - 1] = 1;
    }
    b.DeleteBfr();
    EXPECT_EQ(b.type, bfrEmpty);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0);
  }
}

TEST(Bfr, EdgeListHeaderAndSyncObjects) {
  CBfr e;
  e.SetBfrType(bfrEdges);
  ASSERT_NE(e.Edges(), nullptr);
  EXPECT_EQ(e.Edges()->edges, nullptr);
  EXPECT_EQ(e.Edges()->code, 0);
  ASSERT_TRUE(e.SetSize(100));
  ASSERT_NE(e.Edges()->edges, nullptr);
  e.Edges()->edges[102] = 1.5;
  e.FreeBfr();
  EXPECT_EQ(e.type, bfrEdges) << "FreeBfr keeps the type";
  ASSERT_NE(e.Edges(), nullptr) << "and the header";
  EXPECT_EQ(e.Edges()->edges, nullptr);

  for (enumBfrType t : {bfrTrigger, bfrEvent, bfrAutoEvent, bfrMutex}) {
    CBfr s;
    s.SetBfrType(t);
    EXPECT_NE(s.data, nullptr) << t;
    void* handle = s.data;
    s.FreeBfr();
    EXPECT_EQ(s.data, handle) << "FreeBfr keeps the handle of " << t;
  }
}

TEST(Bfr, UnknownTypeIsRefusedAndCleared) {
  ReportCatcher reports;
  CBfr b;
  b.SetBfrType(bfrR8);
  b.SetSize(10);
  b.SetBfrType(static_cast<enumBfrType>(1234));
  EXPECT_EQ(b.type, bfrEmpty);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(reports.reports(), std::vector<std::string>{"KvDll/Bfr: Buffer type not supported"});
}

TEST(Bfr, SizingKeepsStorageWithinTheThousandElementWindow) {
  CBfr b;
  b.SetBfrType(bfrR8);
  ASSERT_TRUE(b.SetSize(1000));
  void* first = b.data;
  b.count = b.valid = 7;
  b.ready = 1;
  EXPECT_TRUE(b.SetSize(500));
  EXPECT_EQ(b.data, first);
  EXPECT_EQ(b.count, 7) << "a quick return keeps the content";
  EXPECT_EQ(b.ready, 1);
  EXPECT_TRUE(b.SetSize(1000));
  EXPECT_EQ(b.count, 7);
  EXPECT_TRUE(b.SetSize(1001));
  EXPECT_EQ(b.capacity, 1001);
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(b.ready, 0);
  EXPECT_TRUE(b.SetSize(0));
  EXPECT_EQ(b.capacity, 0);
  EXPECT_TRUE(b.SetSize(-5)) << "a negative size counts as 0";
}

TEST(Bfr, ResizeKeepsTheFirstElements) {
  for (enumBfrType t : {bfrR8, bfrXY, bfrIntervals}) {
    CBfr b;
    b.SetBfrType(t);
    ASSERT_TRUE(b.SetSize(4));
    for (int i = 0; i < 4; ++i) {
      as<double>(b.data)[i] = i + 0.5;
      if (b.data2) as<double>(b.data2)[i] = 10 + i;
    }
    ASSERT_TRUE(b.Resize(5000));
    EXPECT_EQ(b.capacity, 5003);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(as<double>(b.data)[i], i + 0.5) << t;
      if (b.data2) {
        EXPECT_EQ(as<double>(b.data2)[i], 10 + i) << t;
      }
    }
    as<double>(b.data)[5002] = 1;
  }
  CBfr e;
  e.SetBfrType(bfrEdges);
  ASSERT_TRUE(e.SetSize(2));
  e.Edges()->edges[1] = 42;
  ASSERT_TRUE(e.Resize(3000));
  EXPECT_EQ(e.Edges()->edges[1], 42);
}

TEST(Bfr, SizingFailuresReportAndLeaveNoCapacity) {
  ReportCatcher reports;
  CBfr i4;
  i4.SetBfrType(bfrI4);
  EXPECT_FALSE(i4.Resize(10));
  CBfr scalar;
  scalar.SetBfrType(bfrScalarR8);
  EXPECT_FALSE(scalar.SetSize(10));
  EXPECT_EQ(reports.reports(), (std::vector<std::string>{
                           "KvDll/Bfr: Not an array or array type not supported", "KvDll/Bfr: Insufficient memory",
                           "KvDll/Bfr: Not an array or array type not supported", "KvDll/Bfr: Insufficient memory"}));

  reports.clear();
  CBfr b;
  b.SetBfrType(bfrIntervals);
  KvHeapFailAfter(2);  // the second of the three arrays fails
  EXPECT_FALSE(b.SetSize(10));
  KvHeapFailAfter(0);
  EXPECT_EQ(b.capacity, 0);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.data2, nullptr);
  EXPECT_EQ(b.data3, nullptr);
  EXPECT_EQ(reports.reports(), std::vector<std::string>{"KvDll/Bfr: Insufficient memory"});
}

TEST(Bfr, ExtremesAreCachedUntilReset) {
  CBfr b;
  b.SetBfrType(bfrI2);
  b.SetSize(4);
  const int16_t v[] = {-300, 7, -32768, 12};
  std::copy(v, v + 4, as<int16_t>(b.data));
  b.count = 4;
  EXPECT_EQ(b.GetMax(), 12);
  EXPECT_EQ(b.GetMin(), -32768);
  as<int16_t>(b.data)[0] = 999;
  EXPECT_EQ(b.GetMax(), 12) << "the cache answers until it is reset";
  b.maxCache = b.minCache = CBfr::kNoCache;
  EXPECT_EQ(b.GetMax(), 999);

  CBfr c;
  c.SetBfrType(bfrR8);
  c.maxCache = 3.0;
  EXPECT_EQ(c.GetMax(), 3.0) << "no samples are read while the cache holds a value";

  CBfr xy;
  xy.SetBfrType(bfrXY);
  xy.SetSize(3);
  const double values[] = {-1.5, 2.5, 0.25};
  std::copy(values, values + 3, as<double>(xy.data));
  xy.count = 3;
  EXPECT_EQ(xy.GetMax(), 2.5);
  EXPECT_EQ(xy.GetMin(), -1.5);
}

TEST(Bfr, InterpolatesArrays) {
  CBfr b;
  b.SetBfrType(bfrR8);
  b.SetSize(5);
  for (int i = 0; i < 5; ++i) as<double>(b.data)[i] = i * 10.0 + (i == 2 ? 1 : 0);
  b.count = b.valid = 5;
  double y = -1;
  EXPECT_EQ(b.InterpolateLinear(2.0, &y), 0);
  EXPECT_EQ(y, 21.0);
  EXPECT_EQ(b.InterpolateLinear(1.5, &y), 0);
  EXPECT_DOUBLE_EQ(y, 15.5);
  EXPECT_EQ(b.InterpolateLinear(4.0, &y), 0);
  EXPECT_EQ(y, 40.0);
  y = -7;
  EXPECT_EQ(b.InterpolateLinear(-0.1, &y), -2);
  EXPECT_EQ(b.InterpolateLinear(4.01, &y), -3);
  EXPECT_EQ(b.InterpolateLinear(std::nan(""), &y), -2);
  EXPECT_EQ(y, -7) << "refused positions leave y alone";
  b.magic = 0;
  EXPECT_EQ(b.InterpolateLinear(1.0, &y), -1);
  b.magic = CBfr::kMagic;

  CBfr raw;  // raw values, without scale and offset
  raw.SetBfrType(bfrI2);
  raw.SetSize(2);
  as<int16_t>(raw.data)[0] = 100;
  as<int16_t>(raw.data)[1] = 200;
  raw.valid = raw.count = 2;
  raw.scale = 0.5;
  raw.offset = 7;
  EXPECT_EQ(raw.InterpolateLinear(0.25, &y), 0);
  EXPECT_EQ(y, 125.0);
}

TEST(Bfr, InterpolatesValuesAtPositionsAndIntervals) {
  CBfr xy;
  xy.SetBfrType(bfrXY);
  xy.SetSize(4);
  const double pos[] = {0, 1, 3, 7}, val[] = {0, 10, 30, 70};
  std::copy(pos, pos + 4, as<double>(xy.data2));
  std::copy(val, val + 4, as<double>(xy.data));
  xy.count = 4;
  xy.valid = 8;
  double y = 0;
  EXPECT_EQ(xy.InterpolateLinear(5, &y), 0);
  EXPECT_DOUBLE_EQ(y, 50);
  EXPECT_EQ(xy.InterpolateLinear(3, &y), 0);
  EXPECT_DOUBLE_EQ(y, 30);
  EXPECT_EQ(xy.InterpolateLinear(7, &y), 0);
  EXPECT_DOUBLE_EQ(y, 70);
  EXPECT_EQ(xy.InterpolateLinear(7.5, &y), -3) << "beyond the last position";

  CBfr iv;
  iv.SetBfrType(bfrIntervals);
  iv.SetSize(3);
  const double start[] = {0, 2, 5}, end[] = {1, 3, 6}, v[] = {1, 2, 4};
  std::copy(start, start + 3, as<double>(iv.data2));
  std::copy(end, end + 3, as<double>(iv.data3));
  std::copy(v, v + 3, as<double>(iv.data));
  iv.count = 3;
  iv.valid = 7;
  EXPECT_EQ(iv.InterpolateLinear(0.5, &y), 0);
  EXPECT_EQ(y, 1);
  EXPECT_EQ(iv.InterpolateLinear(1.5, &y), 0);
  EXPECT_DOUBLE_EQ(y, 1.5) << "between intervals the value is interpolated";
  EXPECT_EQ(iv.InterpolateLinear(4, &y), 0);
  EXPECT_DOUBLE_EQ(y, 2 + (4.0 - 3) * (4 - 2) / (5 - 3));
  EXPECT_EQ(iv.InterpolateLinear(5, &y), 0);
  EXPECT_EQ(y, 4);
  EXPECT_EQ(iv.InterpolateLinear(5.5, &y), -3) << "the search runs over the interval starts";
}

TEST(Bfr, CopyToScalesOnRequest) {
  ReportCatcher reports;
  CBfr b;
  b.SetBfrType(bfrI1);
  b.SetSize(3);
  const int8_t v[] = {-128, 0, 127};
  std::copy(v, v + 3, as<int8_t>(b.data));
  b.count = 3;
  b.scale = 2;
  b.offset = 1;
  double out[3];
  EXPECT_EQ(b.CopyTo(out, false), 3);
  EXPECT_EQ(out[0], -128);
  EXPECT_EQ(out[2], 127);
  EXPECT_EQ(b.CopyTo(out, true), 3);
  EXPECT_EQ(out[0], -255);
  EXPECT_EQ(out[1], 1);

  CBfr u;
  u.SetBfrType(bfrU1);
  u.SetSize(3);
  u.count = 3;
  EXPECT_EQ(u.CopyTo(out, false), -1);
  EXPECT_EQ(reports.reports(), std::vector<std::string>{"KvDll/Bfr: Operation not supported for buffer type"});
}

// Buffer waits: the stop event of the global data object against the buffer's own object.
TEST(BfrWait, CodesForStopEventBufferObjectAndTimeOut) {
  CGlobalData g;
  struct Case {
    enumBfrType type;
    bool setOwn, setStop;
    long expected;
  };
  const Case cases[] = {
      {bfrEvent, false, false, 258}, {bfrEvent, true, false, 1},  {bfrEvent, false, true, 0},
      {bfrEvent, true, true, 0},     {bfrTrigger, true, false, 1}, {bfrAutoEvent, true, false, 1},
      {bfrMutex, false, false, 1},   {bfrMutex, false, true, 0},   {bfrR8, false, false, 258},
      {bfrR8, false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " own " << c.setOwn << " stop " << c.setStop);
    CBfr b;
    b.SetBfrType(c.type);
    if (c.setOwn) as<KvEvent>(b.data)->Set();
    if (c.setStop) g.stopEvent.Set();
    EXPECT_EQ(b.WaitForObject(0), c.expected);
    g.stopEvent.Reset();
  }
}

TEST(BfrWait, AutoResetEventIsTakenByTheWait) {
  CGlobalData g;
  CBfr b;
  b.SetBfrType(bfrAutoEvent);
  as<KvEvent>(b.data)->Set();
  EXPECT_EQ(b.WaitForObject(0), 1);
  EXPECT_EQ(b.WaitForObject(0), 258);
}

TEST(BfrWait, StopFromAnotherThreadEndsAWaitForEver) {
  CGlobalData g;
  CBfr b;
  b.SetBfrType(bfrEvent);
  std::thread stopper([&] {
    while (KvWaitingThreads(g.stopEvent) == 0) std::this_thread::yield();
    g.stopEvent.Set();
  });
  EXPECT_EQ(b.WaitForObject(0xFFFFFFFFul), 0);
  stopper.join();
}

TEST(BfrWait, WithoutGlobalDataOnlyTheBufferCounts) {
  ASSERT_EQ(KvGlobal(), nullptr);
  CBfr b;
  b.SetBfrType(bfrEvent);
  EXPECT_EQ(b.WaitForObject(0), 258);
  as<KvEvent>(b.data)->Set();
  EXPECT_EQ(b.WaitForObject(5), 1);
}
