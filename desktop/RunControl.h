#pragma once
// cControl: the run control of the main window. It requests one acquisition at a time from
// the engine and decides from each pass's end whether another follows: once, N times, for
// a time, or until stopped. It keeps the run toolbar in step (Run in Idle; Stop and Abort
// while Running) and marks the engine busy for the length of a run, and for acquisitions
// that others start on the worker while it is idle.
//
// User-interface thread only; the engine's events reach it there.

#include <QObject>
#include <functional>
#include <string>

#include "KvCore/KvApi.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;

// The run toolbar's widgets the control drives; the toolbar owns them. Widgets in a toolbar
// are shown and hidden through their actions.
struct RunToolbar {
  QAction* run = nullptr;
  QAction* stop = nullptr;
  QAction* abort = nullptr;
  QComboBox* mode = nullptr;
  QLabel* caption = nullptr;
  QAction* captionAction = nullptr;
  QLineEdit* count = nullptr;
  QAction* countAction = nullptr;
};

class cControl final : public QObject, public IAppEvents {
  Q_OBJECT

 public:
  enum Mode { runOnce = 0, runNTimes = 1, timed = 2, forEver = 3 };

  // hasController: the engine has an acquisition controller (it got a log window at start);
  // without one Run stays disabled.
  cControl(IApp* app, IUtils* utils, const RunToolbar& bar, bool hasController);
  ~cControl() override;

  void Run();
  void halt(bool abort);

  // Passes requested in this run so far, and whether a shell-driven run is under way.
  long Cycles() const { return cycleCount; }
  bool Running() const { return running; }
  // The seconds the timed mode measures; steady, so a clock set back changes nothing.
  std::function<double()> now;

  // "1m" 60 s, "90" 90 s, "1.5m" 90 s, "2h" 7200 s; without a leading number 0.
  static double ParseDuration(const std::string& text);
  // "hh:mm:ss", each at least two digits.
  static std::string FormatElapsed(double seconds);

  // The engine's events.
  void ValueChanged(const std::string&, const std::string&) override {}
  void BeforeAcq(long acqId) override;
  void AfterAcq(long acqId) override;
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long acqId) override;
  void AcqIdle() override;

 private:
  KvPtr<IApp> app;
  KvPtr<IUtils> utils;
  RunToolbar bar;
  bool hasController;
  long cookie = 0;
  long cycleCount = 0;
  int mode = runOnce;
  bool running = false;
  double startTime = 0, endTime = 0;
  bool busyHeld = false;  // the one busy mark this control holds on the engine

  // The caption box follows the passes at a rate a reader can follow; a pass at a time
  // would spend most of a fast run drawing the toolbar.
  QString captionText;
  double captionShownAt = -1;
  bool captionPending = false;
  void setCaption(const QString& text);
  void flushCaption();

  void modeChanged(int index);
  // true when it requested a pass.
  bool NextCycle();
  void EndRun();
  void setRunning(bool on);
  void takeBusy();
  void releaseBusy();
  long countValue();
};
