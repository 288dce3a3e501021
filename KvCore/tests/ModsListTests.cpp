// The product's installed-function list (bin/Lib/mods.lst, written by the build): every entry
// is an alias the engine takes from the list, loads from the product's module folder, and whose
// component answers a symbol for the schematic; every measurement kind Meas makes is listed.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "EngineRig.h"

#ifdef KV_PRODUCT_LIB_DIR
TEST(ModsList, EveryEntryLoadsAndAnswersASymbol) {
  std::ifstream in(KV_PRODUCT_LIB_DIR "/mods.lst");
  ASSERT_TRUE(in) << "no mods.lst in " << KV_PRODUCT_LIB_DIR;
  EngineRig rig(KV_PRODUCT_LIB_DIR);
  const CObjArr<CStr>& names = *rig.engine.Global().modNames;
  std::set<std::string> aliases;
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    SCOPED_TRACE(line);
    const size_t comma = line.find(',');
    ASSERT_NE(comma, std::string::npos);
    const std::string alias = line.substr(0, comma);
    ASSERT_LT(n, names.count);
    EXPECT_STREQ(names.items[n++]->GetBfr(), alias.c_str()) << "the engine's alias list is the file's";
    EXPECT_TRUE(aliases.insert(alias).second) << "listed twice";
    rig.ok("load c = " + alias);
    const std::string symbol = rig.ok("c.symbol");
    EXPECT_NE(symbol.find("box,"), std::string::npos) << symbol;
    rig.ok("unload c");
  }
  EXPECT_EQ(n, names.count);
  // The measurement kinds, from Meas itself: an "all" component lists every one it makes.
  rig.ok("load m = meas.all");
  std::stringstream kinds(rig.ok("m.meas.names?"));
  std::string kind;
  int measured = 0;
  while (std::getline(kinds, kind, ',')) {
    ++measured;
    EXPECT_TRUE(aliases.count("Meas." + kind)) << kind << " is not listed";
  }
  EXPECT_GT(measured, 20);
  for (const char* f : {"Meas.All", "SigGen", "Filter", "TextIO.Reader", "TextIO.Writer", "Plot"})
    EXPECT_TRUE(aliases.count(f)) << f;
}
#endif
