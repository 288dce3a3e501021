#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KvDll/Str.h"
#include "KvDll/objarr.h"

namespace {

std::vector<int> g_deleted;
struct Item {
  int id;
  explicit Item(int i = 0) : id(i) {}
  ~Item() { g_deleted.push_back(id); }
};

std::vector<std::string> g_reports;
void collect(long, long, long, const char* message, const char* unit) {
  g_reports.push_back(std::string(unit) + ": " + message);
}

}  // namespace

TEST(ObjArr, OwnsItsElementsAndDeletesThemInOrder) {
  g_deleted.clear();
  {
    CObjArr<Item> a;
    Item* made = a.GetLast();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(a.count, 1) << "an empty array gets a new element";
    EXPECT_EQ(a.GetLast(), made);
    a.Add(nullptr);
    a.Add(new Item(2));
    EXPECT_EQ(a.count, 3);
    EXPECT_EQ(a.items[1], nullptr);
    EXPECT_EQ(a.GetLast()->id, 2);
    a.RemoveAll();
    EXPECT_EQ(a.count, 0);
    EXPECT_EQ(g_deleted, (std::vector<int>{0, 2})) << "first to last, null slots skipped";
    for (int i = 3; i <= 5; ++i) a.Add(new Item(i));
  }
  EXPECT_EQ(g_deleted, (std::vector<int>{0, 2, 5, 4, 3})) << "destruction runs last to first";
}

TEST(ObjArr, GrowthFailureReportsAndEndsEmpty) {
  const KvErrReportFn previous = KvSetErrReport(collect);
  g_reports.clear();
  g_deleted.clear();
  CObjArr<Item> a;
  a.Add(new Item(1));
  a.Add(new Item(2));
  KvHeapFailAfter(1);
  a.Add(new Item(3));
  EXPECT_EQ(a.count, 0);
  EXPECT_EQ(g_deleted.size(), 3u) << "the held elements and the rejected one are deleted";
  KvHeapFailAfter(1);
  EXPECT_EQ(a.GetLast(), nullptr) << "no element when its addition fails";
  KvHeapFailAfter(0);
  EXPECT_EQ(g_reports, std::vector<std::string>(2, "KvDll/objarr: Insufficient memory"));
  a.Add(new Item(4));
  EXPECT_EQ(a.count, 1) << "usable after the failure";

  g_reports.clear();
  const CStr text("a,b");
  CObjArr<CStr> pieces;
  KvHeapFailAfter(2);  // the first piece's text is allocated, then its slot fails
  text.split(&pieces, ',');
  KvHeapFailAfter(0);
  KvSetErrReport(previous);
  EXPECT_EQ(g_reports, std::vector<std::string>{"KvDll/objarr: Insufficient memory"});
  ASSERT_EQ(pieces.count, 1) << "the array ends empty at the failure and takes the later piece";
  EXPECT_STREQ(*pieces.items[0], "b");
}
