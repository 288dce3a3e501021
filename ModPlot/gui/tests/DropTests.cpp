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
    const std::pair<std::string, std::vector<Assignment>> cases[] = {
        {"HorOff=1m;HorSpan1=20u;", {{"main.hoffset", "1m"}, {"main.hscale", "20u"}}},
        {"HorOff=1m;HorSpan1=20u", {{"main.hoffset", "1m"}}},  // the tail after the last ";" is no item
        // An item that is not two parts ends the list; other names are only skipped.
        {"HorOff=1;junk;HorSpan1=2;", {{"main.hoffset", "1"}}},
        {"HorOff=1;a=b=c;HorSpan1=2;", {{"main.hoffset", "1"}}},
        {";HorOff=1;", {}},
        {"Other=3;=4;HorSpan1=2;", {{"main.hscale", "2"}}},
        // Names ignore case and blanks; values are trimmed and left to the engine's converter.
        {" horoff = 2.5k ;\r\nHORSPAN1=;", {{"main.hoffset", "2.5k"}, {"main.hscale", ""}}},
        {"SRC:MEAS;COMP:m1;TYPE:1 ;", {}},
        {std::string("HorOff=1\0;HorSpan1=2;", 21), {{"main.hoffset", std::string("1\0", 2)}, {"main.hscale", "2"}}},
    };
    for (const auto& [text, want] : cases) QVERIFY2(KvPlotDrop::ParseSettings(text) == want, text.c_str());
  }

  void measurements() {
    struct Case {
      const char *text, *comp;  // comp null: no measurement list
      std::vector<int32_t> positions;
    };
    const Case cases[] = {
        {"SRC:MEAS;COMP:m1;TYPE:1 3 ", "m1", {1, 3}},
        {"src:meas;type:2;comp: M2 ", "M2", {2}},
        // Order and repeats as dragged; tokens that are no position are left out.
        {"SRC:MEAS;COMP:m1;TYPE:3  1\t3 x 0 -2 4.5 99999999 1000000 ", "m1", {3, 1, 3, 1000000}},
        {"SRC:MEAS;", "", {}},
        {"SRC:INPUT;SYS:", nullptr, {}},
        {"SRC:MEAS", nullptr, {}},
    };
    for (const Case& c : cases) {
      const auto m = KvPlotDrop::ParseMeasurements(c.text);
      QVERIFY2(m.has_value() == (c.comp != nullptr), c.text);
      if (m) QVERIFY2(m->comp == c.comp && m->positions == c.positions, c.text);
    }
  }
};

QTEST_APPLESS_MAIN(DropTests)
#include "DropTests.moc"
