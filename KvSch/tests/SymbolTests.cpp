// The document without an engine: symbols, kinds, objects, snapping, hits, the archive.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "KvSch/SchArchive.h"
#include "KvSch/SchDoc.h"

namespace {
std::string Pt(SchPoint p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }
std::string Rc(const SchRect& r) {
  return "(" + std::to_string(r.l) + "," + std::to_string(r.t) + "," + std::to_string(r.r) + "," + std::to_string(r.b) + ")";
}

// The items of a component, one word each: P<number>:<direction>:<name>:<ends>,
// B<rectangle>, T<rectangle>:<text>:<alignment code>.
std::string Items(const CSchMod& m) {
  std::string s;
  for (int32_t i = 0; i < m.ItemCount(); ++i) {
    const CSchObj* o = m.Item(i);
    std::string w;
    if (o->Kind() == skPin) {
      auto* p = static_cast<const CSchPin*>(o);
      w = "P" + std::to_string(p->Number()) + ":" + std::to_string(p->Direction()) + ":" + p->PinName().GetBfr() + ":" +
          Pt(p->P1()) + "-" + Pt(p->P2());
    } else if (o->Kind() == skBox) {
      w = "B" + Rc(static_cast<const CSchBox*>(o)->Rect());
    } else if (o->Kind() == skText) {
      auto* t = static_cast<const CSchText*>(o);
      w = "T" + Rc(t->Rect()) + ":" + t->Text().GetBfr() + ":" + std::to_string(t->Align());
    }
    EXPECT_EQ(o->Parent(), &m);
    s += (s.empty() ? "" : " ") + w;
  }
  return s;
}
}  // namespace

TEST(SymbolParse, ItemsInSymbolOrder) {
  struct Case {
    const char* symbol;
    const char* items;
    const char* error;  // the failure message, or null when the symbol parses
  } cases[] = {
      {"box,100,0,500,400;text,100,10,500,100,Meas,center,center;ipin,0,200,100,,1,dt.in;opin,600,200,100,,2,dt.out;",
       "B(100,0,600,400) T(100,10,600,110):Meas:5 P1:1:dt.in:(0,200)-(100,200) P2:2:dt.out:(600,200)-(700,200)", nullptr},
      {"opin,300,400,0,100,1,out", "P1:2:out:(300,400)-(300,500)", nullptr},
      {"TEXT , 10 , 10 , 200 , 50 , Gain , RIGHT , Bottom", "T(10,10,210,60):Gain:10", nullptr},
      {"box,0,0,100;text,0,0,10,10;box,1,2,3,4", "B(1,2,4,6)", nullptr},
      {"\tbox,0,0,1,1\n;\nipin,0,0,5,7,1,a;", "B(0,0,1,1) P1:1:a:(0,0)-(5,0)", nullptr},
      {"\r\nbox,0,0,1,1;box,2,2,1,1", "B(2,2,3,3)", nullptr},
      {"ipin,0,0,10,0,0,x;ipin,0,0,10,1,a;bpin,1.9,-2.7,-10,,1,b", "P1:4:b:(1,-2)-(-9,-2)", nullptr},
      {"text,0,0,10,20,Hi,middle;text,0,0,10,20,Lo,center,top,extra", "T(0,0,10,20):Hi:0", nullptr},
      {"text,0,0,10,20,x y,Right;text,0,0,10,20,z,LEFT,Center", "T(0,0,10,20):x y:2 T(0,0,10,20):z:4", nullptr},
      {"circle,1,2;;  ;box,,,,1", "B(0,0,0,1)", nullptr},
      {"ipin,0,0,99999999999,0,1,big", "P1:1:big:(0,0)-(100000000,0)", nullptr},
      {"opin,0,0,10,0,1,x;box,0,0,1,1;opin,0,0,10,0,2.9,y", "P1:2:x:(0,0)-(10,0) B(0,0,1,1) P2:2:y:(0,0)-(10,0)", nullptr},
      {"ipin,0,0,10,0,1,a;box,0,0,5,5;ipin,0,0,10,0,3,b", "", "Invalid pin number in line: ipin,0,0,10,0,3,b"},
      {"opin,0,0,10,0,2,a", "", "Invalid pin number in line: opin,0,0,10,0,2,a"},
      {"", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symbol);
    CSchMod m;
    CStr bad;
    EXPECT_EQ(m.ParseSymbol(c.symbol, &bad), c.error == nullptr);
    EXPECT_EQ(Items(m), c.items);
    EXPECT_STREQ(bad.GetBfr(), c.error ? c.error : "");
  }
}

TEST(SymbolParse, ConnectionPointsInDocumentCoordinates) {
  struct Case {
    const char* symbol;
    SchPoint pos, point;
  } cases[] = {
      {"ipin,0,200,100,,1,dt.in", {1000, 500}, {1000, 700}},
      {"opin,300,400,0,100,1,out", {0, 0}, {300, 500}},
      {"opin,600,200,100,,1,o", {100, 100}, {800, 300}},
      {"ipin,100,0,-100,,1,i", {50, 50}, {50, 50}},
      {"opin,100,0,-100,,1,o", {50, 50}, {150, 50}},
      {"bpin,0,50,100,,1,b", {-200, 0}, {-200, 50}},  // wired like an input, not at the origin
      {"ipin,0,0,0,-100,1,v", {0, 0}, {0, -100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.symbol);
    CSchMod m;
    ASSERT_TRUE(m.ParseSymbol(c.symbol));
    m.SetPosition(c.pos);
    ASSERT_NE(m.Pin(1), nullptr);
    EXPECT_EQ(Pt(m.Pin(1)->ConnectionPoint()), Pt(c.point));
  }
}

TEST(SchObjects, KindsNamesAndConnections) {
  const char* names[] = {"None", "Obj", "Box", "Mod", "Line", "Net", "Pin", "Text", "Wire", "Label", "Line2", "Rect", "Jun"};
  for (int k = 0; k < 13; ++k) EXPECT_STREQ(SchTypeName(k), names[k]);
  EXPECT_STREQ(SchTypeName(13), "Unknown");
  EXPECT_STREQ(SchTypeName(-1), "Unknown");
  const std::string tags = std::string(SchTag(skMod)) + SchTag(skPin) + SchTag(skWire) + SchTag(skJun) + SchTag(skBox);
  EXPECT_EQ(tags, "MPWJ");

  // Each object takes the next serial and is named after it.
  CSchJun j;
  CSchWire w1, w2, w3;
  CSchPin p;
  EXPECT_EQ(w1.Serial(), j.Serial() + 1);
  EXPECT_EQ(std::string(p.Name().GetBfr()), "#" + std::to_string(p.Serial()));
  EXPECT_EQ(p.Colour(), SchRgb(0, 128, 128));
  EXPECT_EQ(w1.Colour(), SchRgb(192, 0, 0));
  EXPECT_EQ(j.Rect(), (SchRect{-16, -16, 16, 16}));
  EXPECT_EQ(CSchLine2().Orientation(), CSchLine2::orHorizontal);

  // Answers: 1 appended, 0 already there, refused at capacity.
  EXPECT_EQ(p.Connect(&w1), CSchObj::cnDone);
  EXPECT_EQ(p.Connect(&w1), CSchObj::cnAlready);
  EXPECT_EQ(p.Connect(&w2), CSchObj::cnRefused);
  EXPECT_EQ(w1.Connect(&p), CSchObj::cnDone);
  EXPECT_EQ(w1.Connect(&j), CSchObj::cnDone);
  EXPECT_EQ(w1.Connect(&w3), CSchObj::cnRefused);
  EXPECT_EQ(w1.Start(), &p);
  EXPECT_EQ(w1.End(), &j);
  w1.RemoveConnection(&p);  // empties the start, keeps the end where it is
  EXPECT_EQ(w1.Start(), nullptr);
  EXPECT_EQ(w1.End(), &j);
  EXPECT_EQ(w1.Connect(&w2), CSchObj::cnDone);
  EXPECT_EQ(w1.SlotOf(&w2), 0);
  EXPECT_EQ(w1.Connection(2), nullptr);
  EXPECT_FALSE(w1.SetConnectionAt(1, &w3, &w2));
  EXPECT_TRUE(w1.SetConnectionAt(1, &w3, &j));
  EXPECT_EQ(w1.End(), &w3);

  EXPECT_TRUE(p.SetParent(&j));
  EXPECT_FALSE(p.SetParent(&w1));
  EXPECT_EQ(p.Parent(), &j);
  // The links above were made one side at a time, and w1 outlives w2 and w3.
  w1.RemoveConnection(&w2);
  w1.RemoveConnection(&w3);

  // A destroyed object leaves no reference behind.
  {
    CSchWire gone;
    EXPECT_TRUE(CSchDoc::Join(&j, &gone));
    EXPECT_EQ(j.ConnectionCount(), 1);
  }
  EXPECT_EQ(j.ConnectionCount(), 0);
}

TEST(SchObjects, SetPointsSetsOrientationMovingOneEndDoesNot) {
  struct Case {
    SchPoint a, b;
    int32_t orient;
  } cases[] = {{{0, 0}, {500, 0}, 1}, {{0, 0}, {0, 500}, 2}, {{0, 0}, {300, 400}, 0}, {{7, 7}, {7, 7}, 1}};
  for (const Case& c : cases) {
    CSchWire w;
    w.SetPoints(c.a, c.b);
    EXPECT_EQ(w.Orientation(), c.orient);
    w.SetP2({c.b.x + 123, c.b.y + 45});
    EXPECT_EQ(w.Orientation(), c.orient);
  }
  // A diagonal wire is drawn as the staircase its stored orientation gives.
  CSchWire h;
  h.SetPoints({0, 0}, {1000, 0});
  h.SetP2({1020, 600});
  EXPECT_EQ(h.Staircase().size(), 4u);
  EXPECT_EQ(Pt(h.Staircase()[1]), "(500,0)");
  CSchWire v;
  v.SetPoints({0, 0}, {0, 1000});
  v.SetP2({700, 1050});
  EXPECT_EQ(Pt(v.Staircase()[1]), "(0,500)");
  EXPECT_EQ(Pt(v.Staircase()[2]), "(700,500)");
}

TEST(SchDocument, SnapsToTheGrid) {
  const int32_t cases[][2] = {{149, 100}, {150, 200}, {-160, -100}, {-149, 0}, {-150, -100}, {0, 0},
                              {49, 0},    {50, 100},  {2147483647, kSchCoordMax}, {-2147483647 - 1, -kSchCoordMax}};
  for (const auto& c : cases) EXPECT_EQ(CSchDoc::Snap(c[0]), c[1]) << c[0];
}

TEST(SchDocument, NearestObjectWeighsKindsApart) {
  CSchDoc doc;
  auto add = [&](std::unique_ptr<CSchObj> o, const char* name) {
    o->SetName(name);
    CSchObj* raw = o.get();
    doc.Add(std::move(o));
    return raw;
  };
  for (const char* n : {"A", "A2"}) {
    auto m = std::make_unique<CSchMod>();
    ASSERT_TRUE(m->ParseSymbol("box,0,0,200,200"));
    m->SetPosition({1000, 1000});
    add(std::move(m), n);
  }
  auto j = std::make_unique<CSchJun>();
  j->SetPosition({1250, 1100});
  add(std::move(j), "J");
  auto w = std::make_unique<CSchWire>();
  w->SetPoints({0, 0}, {500, 0});
  w->SetPosition({0, 3000});
  add(std::move(w), "W");
  auto w2 = std::make_unique<CSchWire>();
  w2->SetPoints({1000, 1300}, {1000, 1400});
  add(std::move(w2), "W2");
  add(std::make_unique<CSchMod>(), "Empty");  // no items: never hit

  struct Case {
    SchPoint p;
    const char* hit;
  } cases[] = {
      {{1100, 1100}, "A"},   // first of equals
      {{1225, 1100}, "J"},   // component 25, junction 9
      {{1217, 1100}, "J"},   // equal distances: not strictly nearer
      {{1216, 1100}, "A"},   // 16 against 18
      {{1100, 1225}, "A"},   // on the tolerance
      {{1100, 1230}, ""},    // strictly nearest but beyond the tolerance
      {{250, 3010}, "W"},
      {{250, 3026}, ""},
      {{1000, 1290}, "W2"},  // component 90 away, wire 10
      {{5000, 5000}, ""},
  };
  for (const Case& c : cases) {
    const CSchObj* o = doc.Nearest(c.p);
    EXPECT_STREQ(o ? o->Name().GetBfr() : "", c.hit) << Pt(c.p);
  }
  EXPECT_EQ(doc.Find("A2"), doc.At(1));
  EXPECT_EQ(doc.Find("Nope"), nullptr);
}

TEST(SchArchive, ValuesAndLines) {
  struct Case {
    const char* text;
    const char* ops;  // s: read a value, n: next line
    const char* got;
  } cases[] = {
      {"a,b\r\nc", "sssnss", "a|b||c|"},
      {"a\rb,c\nd", "ssns", "a\rb|c|d"},
      {"x,y,z\r\nq", "sns", "x|q"},
      {"1,2,\r\n", "sss", "1|2|"},
      {"", "sns", "|"},
      {"\n\nlast", "snns", "|last"},
  };
  for (const Case& c : cases) {
    CSchArchive ar(c.text, std::strlen(c.text));
    std::string got;
    bool first = true;
    for (const char* op = c.ops; *op; ++op) {
      if (*op == 'n') {
        ar.NextRecord();
        continue;
      }
      got += (first ? "" : "|") + std::string(ar.GetStr().GetBfr());
      first = false;
    }
    EXPECT_EQ(got, c.got) << c.text;
  }
  CSchArchive out;
  out.Put(1);
  out.Put("a");
  out.EndRecord();
  out.Put(-5);
  out.Put(SchPoint{7, -8});
  out.EndRecord();
  EXPECT_EQ(out.Text(), "1,a\r\n-5,7,-8\r\n");
  // A NUL byte ends a value as it ends any text; the line goes on after it.
  const char nul[] = {'a', 0, 'b', ',', 'c', '\n', 'd'};
  CSchArchive z(nul, sizeof nul);
  EXPECT_EQ(z.GetStr(), CStr("a"));
  EXPECT_EQ(z.GetStr().GetLength(), 1);
  z.NextRecord();
  EXPECT_STREQ(z.GetStr().GetBfr(), "d");
  // Numbers are clamped before truncation.
  const char* big = "1e300,-1e300,nan,-2.9,2K";
  CSchArchive in(big, std::strlen(big));
  EXPECT_EQ(in.GetInt(), 2147483647);
  EXPECT_EQ(in.GetInt(), -2147483647 - 1);
  EXPECT_EQ(in.GetInt(), 0);
  EXPECT_EQ(in.GetInt(), -2);
  EXPECT_EQ(in.GetInt(), 2000);
}
