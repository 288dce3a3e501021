#include "desktop/RunControl.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "desktop/Guard.h"
#include "desktop/Twips.h"

namespace {

// Fixed error-report locations of the handlers here.
constexpr long kLocRun = 200110, kLocNextCycle = 200120, kLocEndRun = 200130, kLocBeforeAcq = 200140,
               kLocHalt = 200150, kLocMode = 200160, kLocIdle = 200170;

double steadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A whole decimal number, with blanks around it allowed: what a count or time box may hold.
bool isNumeric(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exp = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++exp;
    if (exp == 0) return false;
  }
  return i == n;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction / destruction
// ---------------------------------------------------------------------------------------

cControl::cControl(IApp* a, IUtils* u, const RunToolbar& b, bool controller)
    : now(steadySeconds), app(a), utils(u), bar(b), hasController(controller) {
  if (app) app->Advise(this, &cookie);
  bar.mode->clear();
  bar.mode->addItems({"Run Once", "Run N Times", "Timed", "For Ever"});
  connect(bar.mode, &QComboBox::currentIndexChanged, this, &cControl::modeChanged);
  bar.mode->setCurrentIndex(0);
  modeChanged(0);
  connect(bar.run, &QAction::triggered, this, [this] { Run(); });
  connect(bar.stop, &QAction::triggered, this, [this] { halt(false); });
  connect(bar.abort, &QAction::triggered, this, [this] { halt(true); });
  setRunning(false);
}

cControl::~cControl() {
  if (app) app->Unadvise(cookie);
  releaseBusy();
}

// ---------------------------------------------------------------------------------------
// Mode selector
// ---------------------------------------------------------------------------------------

void cControl::modeChanged(int index) {
  KvGuarded(utils.get(), kLocMode, [&] {
    // The caption box grows for the timed mode's elapsed time; the count box follows it.
    bar.caption->setFixedWidth(KvTwipsToPixels(index == timed ? 870 : 630));
    switch (index) {
      case runOnce:
        bar.captionAction->setVisible(false);
        bar.countAction->setVisible(false);
        bar.count->setText("1");
        break;
      case runNTimes:
        bar.captionAction->setVisible(true);
        bar.countAction->setVisible(true);
        bar.caption->setText("N:");
        bar.count->setText("10");
        break;
      case timed:
        bar.captionAction->setVisible(true);
        bar.countAction->setVisible(true);
        bar.caption->setText("Time:");
        bar.count->setText("1m");
        break;
      case forEver:
        bar.countAction->setVisible(false);
        bar.captionAction->setVisible(true);
        bar.caption->setText("");
        break;
      default: break;
    }
  });
}

// ---------------------------------------------------------------------------------------
// Running
// ---------------------------------------------------------------------------------------

void cControl::setCaption(const QString& text) {
  constexpr double kInterval = 0.05;  // s
  captionText = text;
  const double t = steadySeconds();
  if (captionShownAt < 0 || t - captionShownAt >= kInterval) {
    flushCaption();
    return;
  }
  if (captionPending) return;
  captionPending = true;
  QTimer::singleShot(static_cast<int>(kInterval * 1000), this, [this] { flushCaption(); });
}

void cControl::flushCaption() {
  captionPending = false;
  if (captionText.isNull()) return;
  bar.caption->setText(captionText);
  captionText = QString();
  captionShownAt = steadySeconds();
}

void cControl::setRunning(bool on) {
  bar.run->setEnabled(!on && hasController);
  bar.stop->setEnabled(on);
  bar.abort->setEnabled(on);
}

void cControl::takeBusy() {
  if (busyHeld || !app) return;
  long handle = 0;
  app->SetBusy(&handle);
  busyHeld = true;
}

void cControl::releaseBusy() {
  if (!busyHeld || !app) return;
  app->SetBusyNot(0);
  busyHeld = false;
}

long cControl::countValue() {
  double v = 0;
  const std::string text = bar.count->text().toStdString();
  if (utils) utils->Str2Num(text, &v);
  return std::isfinite(v) ? static_cast<long>(std::floor(v)) : 0;
}

void cControl::Run() {
  static bool guard = false;  // one Run request at a time in the process
  if (guard || running || !hasController) return;
  guard = true;
  struct Release {
    ~Release() { guard = false; }
  } release;
  const bool ok = KvGuarded(utils.get(), kLocRun, [&] {
    running = true;
    app->put_bStop(false);
    app->put_bAbort(false);
    takeBusy();
    setRunning(true);
    std::string list;
    app->GetCmdList(&list);
    if (list.empty()) {
      utils->AddLog("Warning: Nothing to do", sevWarn);
      EndRun();
      return;
    }
    cycleCount = 0;
    mode = bar.mode->currentIndex();
    if (mode == timed) {
      startTime = now();
      endTime = startTime + ParseDuration(bar.count->text().toStdString());
    }
    // A run whose first cycle asks for nothing would never hear of an idle worker.
    if (!NextCycle()) EndRun();
  });
  if (!ok) EndRun();
}

bool cControl::NextCycle() {
  bool requested = false;
  KvGuarded(utils.get(), kLocNextCycle, [&] {
    ++cycleCount;
    const QString of = " of";
    switch (mode) {
      case timed: {
        const double t = now();
        if (t > startTime) setCaption(QString::fromStdString(FormatElapsed(t - startTime)) + of);
        if (t >= endTime) return;
        break;
      }
      case forEver: setCaption(QString::number(cycleCount) + of); break;
      default:
        if (countValue() < cycleCount) return;
        setCaption(QString::number(cycleCount) + of);
        break;
    }
    bool stop = false, abort = false;
    app->get_bStop(&stop);
    app->get_bAbort(&abort);
    if (stop || abort) return;
    if (!running) return;
    long pending = 0;
    app->run(1, &pending);
    requested = true;
  });
  return requested;
}

void cControl::EndRun() {
  KvGuarded(utils.get(), kLocEndRun, [&] {
    bool abort = false;
    app->get_bAbort(&abort);
    if (abort) utils->AddLog("Cycle aborted", sevSysErr);
    flushCaption();
    running = false;
    setRunning(false);
    app->put_bStop(false);
    app->put_bAbort(false);
    releaseBusy();
  });
}

void cControl::halt(bool abort) {
  KvGuarded(utils.get(), kLocHalt, [&] {
    if (abort) app->put_bAbort(true);
    app->put_bStop(true);
    bar.stop->setEnabled(false);
    PumpMessages();
  });
}

// ---------------------------------------------------------------------------------------
// Engine events
// ---------------------------------------------------------------------------------------

void cControl::BeforeAcq(long) {
  KvGuarded(utils.get(), kLocBeforeAcq, [&] {
    // A pass someone else asked the worker for keeps the engine busy until it is idle again.
    // A pass run in place on this thread ends without an idle report: it takes nothing.
    if (!running && InSendMessage()) takeBusy();
  });
}

void cControl::AfterAcq(long) {
  if (running) NextCycle();
}

void cControl::AcqAborted(long) {
  if (running) NextCycle();
}

void cControl::AcqIdle() {
  KvGuarded(utils.get(), kLocIdle, [&] {
    if (running || busyHeld) EndRun();
  });
}

// ---------------------------------------------------------------------------------------
// Durations
// ---------------------------------------------------------------------------------------

double cControl::ParseDuration(const std::string& text) {
  std::string t = text;
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t len = 0;
  while (len < t.size() && isNumeric(t.substr(0, len + 1))) ++len;
  if (len == 0) return 0;
  const double v = std::strtod(t.substr(0, len).c_str(), nullptr);
  if (t.find('m') != std::string::npos) return v * 60;
  if (t.find('h') != std::string::npos) return v * 3600;
  return v;
}

std::string cControl::FormatElapsed(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  const long long s = static_cast<long long>(seconds);
  char out[48];
  std::snprintf(out, sizeof out, "%02lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
  return out;
}
