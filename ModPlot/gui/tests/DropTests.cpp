// The texts a drop on the plot display may carry, read without an engine: the settings rule
// (items ended by ";", two parts or stop, two names known) and the measurement list.

#include <QtTest>
#include <string>
#include <vector>

#include "ModPlot/gui/PlotDrop.h"

using KvPlotDrop::Assignment;

class DropTests : public QObject {
  Q_OBJECT

 private slots:
  void settings() {
    struct Case {
      const char* text;
      std::vector<Assignment> want;
    };
    const Case cases[] = {
        {"HorOff=1m;HorSpan1=20u;", {{"main.hoffset", "1m"}, {"main.hscale", "20u"}}},
        // The tail after the last ";" is no item.
        {"HorOff=1m;HorSpan1=20u", {{"main.hoffset", "1m"}}},
        {"HorSpan1=5", {}},
        // An item that is not two parts ends the list; what came before stands.
        {"HorOff=1;junk;HorSpan1=2;", {{"main.hoffset", "1"}}},
        {"HorOff=1;a=b=c;HorSpan1=2;", {{"main.hoffset", "1"}}},
        {";HorOff=1;", {}},
        // Other names are skipped, not an end.
        {"Other=3;HorSpan1=2;", {{"main.hscale", "2"}}},
        {"=4;HorOff=-1;", {{"main.hoffset", "-1"}}},
        // Names ignore case and blanks; values are trimmed and left for the engine's converter.
        {" horoff = 2.5k ;\r\nHORSPAN1=;", {{"main.hoffset", "2.5k"}, {"main.hscale", ""}}},
        {"HorSpan1=0;HorSpan1=-1;", {{"main.hscale", "0"}, {"main.hscale", "-1"}}},
        {"", {}},
        {";;;", {}},
        // A measurement list read as settings gives nothing: its first item has no "=".
        {"SRC:MEAS;COMP:m1;TYPE:1 ;", {}},
        {"drag.ctl.id=3;", {}},
    };
    for (const Case& c : cases) QVERIFY2(KvPlotDrop::ParseSettings(c.text) == c.want, c.text);
    // Bytes past a NUL are text like any other.
    const std::string withNul("HorOff=1\0;HorSpan1=2;", 21);
    const auto got = KvPlotDrop::ParseSettings(withNul);
    QCOMPARE(got.size(), size_t{2});
    QCOMPARE(got[0].value, std::string("1\0", 2));
  }

  void measurements() {
    struct Case {
      const char* text;
      bool meas;
      const char* comp;
      std::vector<int32_t> positions;
    };
    const Case cases[] = {
        {"SRC:MEAS;COMP:m1;TYPE:1 3 ", true, "m1", {1, 3}},
        {"src:meas;comp:M2;type:2", true, "M2", {2}},
        // Order and repeats as dragged; tokens that are no position are left out.
        {"SRC:MEAS;COMP:m1;TYPE:3  1\t3 x 0 -2 4.5 99999999 1000000 ", true, "m1", {3, 1, 3, 1000000}},
        {"SRC:MEAS;TYPE:1 2;COMP: m9 ", true, "m9", {1, 2}},
        {"SRC:MEAS;COMP:m1;", true, "m1", {}},
        {"SRC:MEAS;", true, "", {}},
        {"SRC:INPUT;SYS:", false, "", {}},
        {"SRC:MEAS", false, "", {}},
        {"HorOff=1;", false, "", {}},
        {"", false, "", {}},
    };
    for (const Case& c : cases) {
      const auto m = KvPlotDrop::ParseMeasurements(c.text);
      QVERIFY2(m.has_value() == c.meas, c.text);
      if (!m) continue;
      QVERIFY2(m->comp == c.comp, c.text);
      QVERIFY2(m->positions == c.positions, c.text);
    }
  }
};

QTEST_APPLESS_MAIN(DropTests)
#include "DropTests.moc"
