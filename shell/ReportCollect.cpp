#include <strings.h>

#include <cmath>

#include "KvCore/KvApi.h"
#include "shell/Report.h"

namespace {

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> items;
  size_t at = 0;
  while (at <= list.size()) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    if (end > at) items.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  return items;
}

double real(IApp* app, const std::string& comp, const std::string& key, double otherwise = std::nan("")) {
  double x = 0;
  return app->get_dbl(comp, key, &x) == S_OK ? x : otherwise;
}

// A linked channel of a measurement component: its producer, the record's length, interval
// and start where the producer tells them, and the levels the channel uses.
void addChannel(IApp* app, const std::string& label, const std::string& ch, std::vector<ReportChannel>& into) {
  // The query of an input port answers the output port linked to it, or itself when none is.
  const std::string port = label + "." + ch + ".in";
  std::string connection;
  long result = -1;
  app->Execute(port, &connection, &result);
  if (result != 0 || connection.empty() || connection == port) return;
  ReportChannel c;
  c.channel = ch;
  c.source = connection;
  const std::string producer = connection.substr(0, connection.find('.'));
  std::string file, column;
  if (app->get_str(producer, "filename", &file) == S_OK && app->get_str(producer, "ycolumn", &column) == S_OK)
    c.source += " (file \"" + file + "\", column " + column + ")";
  int32_t n = 0;
  if (app->get_lng(producer, "x.count", &n) == S_OK) {
    // A text-file reader: what it read.
    c.samples = n, c.interval = real(app, producer, "x.interval"), c.start = real(app, producer, "x.start");
  } else if (app->get_lng(producer, "reclen", &n) == S_OK) {
    // A generator: what it makes.
    const double rate = real(app, producer, "samplerate");
    c.samples = n, c.interval = rate > 0 ? 1 / rate : std::nan(""), c.start = real(app, producer, "hor.offset", 0);
  }
  c.mid = real(app, label, ch + ".mid");
  c.hysteresis = real(app, label, ch + ".hysteresis");
  c.low = real(app, label, ch + ".low");
  c.high = real(app, label, ch + ".high");
  into.push_back(c);
}

ReportRow row(IApp* app, const std::string& label, const std::string& name) {
  ReportRow r;
  r.measurement = name;
  int32_t n = 0;
  app->get_lng(label, name + ".count?", &n);
  app->get_unit(label, name + ".mean?", &r.unit);
  r.count = n;
  r.mean = real(app, label, name + ".mean?");
  r.stddev = real(app, label, name + ".stddev?");
  r.min = real(app, label, name + ".min?");
  r.max = real(app, label, name + ".max?");
  return r;
}

}  // namespace

std::vector<ReportComponent> ReportCollect(IApp* app) {
  std::vector<ReportComponent> report;
  long count = 0;
  app->get_CompCount(&count);
  for (long i = 0; i < count; ++i) {
    std::string label, lib;
    app->get_CompLabel(i, &label);
    app->get_CompName(i, &lib);
    if (strcasecmp(lib.c_str(), "meas") != 0) continue;
    std::string names;
    if (app->get_str(label, "meas.names?", &names) != S_OK) continue;
    ReportComponent c;
    c.name = label;
    for (const char* ch : {"ck", "dt", "ctl"}) addChannel(app, label, ch, c.channels);
    for (const std::string& name : splitList(names)) c.rows.push_back(row(app, label, name));
    report.push_back(std::move(c));
  }
  return report;
}
