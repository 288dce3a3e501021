#pragma once
// CPlot: the plot component of Plot.bin. "load p = plot" gives 4 inputs, "plot.N" N (1-16):
// "in.ch1" ... "in.chN". At each input's run-order step the record is copied into the
// component's own store (when its tag or source changed) and the producer's slot released; at
// "#acq.end" the automatic scales and offsets are brought up to date and one frame is rendered
// and handed to the display window named by "hwnd". Settings changed while no pass runs are
// drawn again from the store on the thread that owns the component (coalesced through a
// window of its own); changes during a pass wait for that pass's frame.
//
// Threads: the engine serialises its calls into the instance, but the idle frame is drawn
// outside any engine call, so one lock (`lock`) guards the store, the settings and the input
// slots. It is never held while a message is sent (to the display, or a notification).

#include <QImage>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "KvDll/Gui.h"
#include "KvDll/Wnd.h"
#include "KvLib/LocalData.h"
#include "ModPlot/PlotStore.h"

class CPlot final : public CLocalData {
 public:
  static constexpr int kMaxInputs = 16;
  static constexpr int kDefaultInputs = 4;
  static constexpr int kMaxSide = 16384;  // the largest frame side drawn

  // The number of inputs a variant asks for ("" = the default), or 0 for none that exists.
  static int InputsOf(const char* variant);

  CPlot(const KvCreateBlock& block, int inputs);
  ~CPlot() override;

  void ActMsg(const char* msg) override;
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  // The panels' own functions ("plot.move", "setup.size", ...).
  CMDERR Fun(const char* name, VPARAMS& a) override;
  CMDERR FunInfo(const char* name, VPARAMS& a) override;

  int Inputs() const { return static_cast<int>(ports.size()); }
  // Draws the present view into image (sized width x height); false when nothing can be drawn
  // (no text rendering without a QGuiApplication, a size out of range, a failed allocation).
  bool Render(QImage& image, int width, int height);
  // Renders for the window named by "hwnd" and hands the frame over; true when the display
  // took it.
  bool RenderAndSend();
  // Frames handed over so far (the serial of the last).
  int64_t FrameSerial() const;

 private:
  struct Port {
    CBfr* slot = nullptr;
    double vscale = 1, voffset = 0, vposition = 0;
    int32_t vscaleAuto = 1, voffsetAuto = 1, color = 0, visible = 1;
    PlotRecord rec;
    bool haveTag = false;  // a record of the linked source was taken
    int32_t tag = 0;
    int32_t warnedType = 0;  // the unsupported type last warned about
    bool rangeKnown = false;
    PlotStats range;
  };

  mutable std::mutex lock;
  std::vector<Port> ports;
  CGui plotGui, setupGui;
  int32_t hwnd = 0, keydown = 0;
  double hscale = 1e-3, hoffset = 0;
  int32_t hscaleAuto = 1, hoffsetAuto = 1, cursortype = 0, mode = 0, bins = 100;
  double cursorX[2] = {2e-3, 8e-3}, cursorY[2] = {-1, 1};
  int32_t active = 0;     // the active waveform, 0-based
  int cursorSel = 0;      // which cursor of a pair the keys move
  bool inPass = false;    // between "#acq.start" and its "#acq.end"
  bool idlePosted = false;
  int64_t serial = 0;
  KvWnd self = 0;         // posts to it draw idle changes on the owner's thread
  QImage frame;

  // Settings with the lock held; notes names whose values the component changed itself.
  CMDERR settingsLocked(GETPARCMD cmd, const std::string& n, VPARAM& v, std::vector<std::string>& notes, bool& redraw,
                        bool& src);
  CMDERR portSetting(GETPARCMD cmd, Port& p, int index, const std::string& key, VPARAM& v, std::vector<std::string>& notes,
                     bool& redraw, bool& src);
  void takeInput(int index);
  // The automatic scales and offsets from the store; adds the names that changed.
  void applyAutos(std::vector<std::string>& notes);
  const PlotStats& rangeOf(Port& p);
  void key(int32_t code, std::vector<std::string>& notes);
  double pairValue(double x) const;
  double cursorDy() const;
  bool renderLocked(QImage& image, int width, int height);
  void drawLocked(QImage& image);
  std::string settingsList() const;
  std::string symbol() const;
  void notify(const std::vector<std::string>& names, bool src);
  // Draws an idle change soon, unless a pass runs (its own frame will show it).
  void requestIdleFrame();
  static long selfProc(KvWnd w, unsigned msg, intptr_t wp, intptr_t lp);
};
