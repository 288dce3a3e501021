#include "ModSound/gui/SoundPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <cmath>
#include <limits>

#include "KvCtlLib/TextUpdown.h"

namespace {

// Handler numbers, added to 126000 (input panel) or 126100 (output panel).
enum : long {
  kCaption = 1, kLoad = 2, kValueChanged = 3, kTabCaption = 9, kUnload = 10, kDevice = 11, kStereo = 12,
  kGain = 13,    // + channel index 0, 1
  kOffset = 15,  // + channel index 0, 1
  kRate = 17, kRecLen = 18, kSweep = 19, kFreeze = 20, kMore = 21, kAdditive = 22, kHorOffset = 23, kOverride = 24,
  kStop = 25,
};

const std::vector<double> kInputRates = {11025, 22010, 44100};
const std::vector<double> kOutputRates = {8000, 11025, 22010, 44100};

// A failing HRESULT of a Utils call ends the handler.
void must(HRESULT h, long line, const char* what) {
  if (h < 0) throw PanelError{static_cast<long>(h), line, std::string(what) + ": failed"};
}

// Lay-out, pixels.
constexpr int kMargin = 6, kRowH = 25, kFieldH = 21, kCaptionW = 72, kFieldW = 84, kWidth = 360,
              kTimingCaptionW = 110;

TextUpdown* row(QWidget* parent, int x, int y, const char* caption, int captionW = kCaptionW, int index = -1) {
  auto* l = new QLabel(QString::fromUtf8(caption), parent);
  l->setGeometry(x, y + 2, captionW - 4, kFieldH - 2);
  auto* f = new TextUpdown(parent, index);
  f->setGeometry(x + captionW, y, kFieldW, kFieldH);
  return f;
}

}  // namespace

CSoundPanel::CSoundPanel(QWidget* parent, bool capture)
    : CPanel(parent, Traits{"gui", capture ? "Import" : "Export", nullptr, false,
                            {(capture ? 126000 : 126100) + kCaption, (capture ? 126000 : 126100) + kLoad,
                             (capture ? 126000 : 126100) + kValueChanged, (capture ? 126000 : 126100) + kTabCaption,
                             (capture ? 126000 : 126100) + kUnload}}),
      capture(capture) {
  // Rows from the top: device, mode, calibration, rate / length / sweep, then (input) "More"
  // and the offset frame.
  const int yMode = kMargin + 18 + 24 + 6;
  const int yCalibration = yMode + (capture ? 46 : 24) + 6;
  const int yTiming = yCalibration + 20 + 2 * kRowH + 4 + 6;
  const int yMore = yTiming + 3 * kRowH + 2;
  deviceCaption = new QLabel(capture ? "Sound-In Device" : "Sound-Out Device", this);
  deviceCaption->setObjectName("lblDevice");
  deviceCaption->setGeometry(kMargin, kMargin, kWidth - 2 * kMargin, 16);
  devices = new QComboBox(this);
  devices->setObjectName("cmbDevice");
  devices->setGeometry(kMargin, kMargin + 18, kWidth - 2 * kMargin, 24);
  // activated: the user's choice only; filling and selecting from code raise nothing here.
  connect(devices, &QComboBox::activated, this, [this](int i) { Guarded(number(kDevice), [&] { deviceChosen(i); }); });

  if (capture) {
    mode = new QGroupBox("Mode", this);
  } else {
    mode = new QWidget(this);
  }
  mode->setObjectName("fraMode");
  mono = new QRadioButton("Mono", mode);
  mono->setObjectName("optMono");
  stereo = new QRadioButton("Stereo", mode);
  stereo->setObjectName("optStereo");
  if (capture) {
    mode->setGeometry(kMargin, yMode, 150, 46);
    mono->setGeometry(10, 20, 60, 20);
    stereo->setGeometry(72, 20, 70, 20);
  } else {
    mode->setGeometry(kMargin, yMode, 150, 24);
    mono->setGeometry(4, 2, 60, 20);
    stereo->setGeometry(66, 2, 70, 20);
  }
  for (QRadioButton* o : {mono, stereo})
    connect(o, &QRadioButton::clicked, this, [this] { Guarded(number(kStereo), [&] { stereoClicked(); }); });

  calibration = new QGroupBox("Calibration Settings", this);
  calibration->setObjectName("fraCalibration");
  calibration->setGeometry(kMargin, yCalibration, kWidth - 2 * kMargin, 20 + 2 * kRowH + 4);
  const char* const gainCaptions[] = {"CHL Gain", "CHR Gain"};
  const char* const offsetCaptions[] = {"CHL Offset", "CHR Offset"};
  for (int c = 0; c < 2; ++c) {
    const int x = 8 + c * 172;
    const std::string ch = "ch" + std::to_string(c + 1);
    gain[c] = row(calibration, x, 20, gainCaptions[c], 78, c + 1);
    gain[c]->setObjectName(QString("txtGain%1").arg(c + 1));
    gain[c]->setToolTip("Enter the peak to peak level in volts");
    BindNumber(gain[c], ch + ".gain", Scale125(), number(kGain + c));
    offset[c] = row(calibration, x, 20 + kRowH, offsetCaptions[c], 78, c + 1);
    offset[c]->setObjectName(QString("txtOffset%1").arg(c + 1));
    offset[c]->setToolTip("Enter the DC offset in volts");
    // An offset steps by a tenth of the gain shown in the same channel's field.
    BindNumber(offset[c], ch + ".offset", Custom([this, c](double v, bool up) {
                 const double g = Parse(gain[static_cast<size_t>(c)]->Text().trimmed().toStdString());
                 must(Utils()->safeadd(&v, up ? g / 10 : g / -10), __LINE__, "Utils.safeadd");
                 return v;
               }),
               number(kOffset + c));
  }

  rate = row(this, kMargin, yTiming, "Sample Rate", kTimingCaptionW);
  rate->setObjectName("txtRate");
  rate->setToolTip("Enter the sample rate in Samples/Sec");
  BindNumber(rate, "samplerate", Custom([this](double v, bool up) { return NextRate(Ladder(), v, up); }), number(kRate), true)
      .atLeast = 1;
  recLen = row(this, kMargin, yTiming + kRowH, "Rec. Length", kTimingCaptionW);
  recLen->setObjectName("txtRecLen");
  recLen->setToolTip("Enter record length in points");
  BindNumber(recLen, "reclen", Scale125(), number(kRecLen), true).atLeast = 1;
  sweep = row(this, kMargin, yTiming + 2 * kRowH, "Sweep Time (s)", kTimingCaptionW);
  sweep->setObjectName("txtSweep");
  // Connected after the bindings' own handlers: the sweep follows every write or revert of
  // the rate and the length, also one the engine refused (which raises no change). A failure
  // here is the one the field's handler has just reported.
  for (TextUpdown* f : {rate, recLen})
    connect(f, &TextUpdown::Change, this, [this] {
      try {
        showSweep();
      } catch (const PanelError&) {
      }
    });

  if (capture) {
    connect(sweep, &TextUpdown::Change, this, [this](int action, int) { Guarded(number(kSweep), [&] { sweepChanged(action); }); });
    freeze = new QCheckBox("Freeze Signal", this);
    freeze->setObjectName("chkFreeze");
    freeze->setToolTip("Click to switch signal freeze ON or OFF");
    freeze->adjustSize();
    freeze->move(kMargin + 150 + 12, yMode + 20);
    BindCheck(freeze, "freeze", number(kFreeze));
    more = new QCheckBox("More", this);
    more->setObjectName("chkMore");
    more->adjustSize();
    more->move(kMargin, yMore);
    horOffset = new QGroupBox("Horizontal Offset (s)", this);
    horOffset->setObjectName("fraHorOffset");
    horOffset->setGeometry(kMargin, yMore + more->height() + 4, kWidth - 2 * kMargin, 20 + kRowH + 4);
    auto* field = new TextUpdown(horOffset);
    field->setObjectName("txtHorOffset");
    field->setGeometry(10, 20, kFieldW + 20, kFieldH);
    BindNumber(field, "hor.offset", Offset(), number(kHorOffset));
    auto* additive = new QCheckBox("Additive", horOffset);
    additive->setObjectName("chkAdditive");
    additive->move(130, 21);
    additive->adjustSize();
    BindCheck(additive, "hor.offset.additive", number(kAdditive));
    BindMore(more, number(kMore));  // last: its refresh lays the panel out
  } else {
    // The output's sweep time only shows what the rate and the length give.
    connect(sweep, &TextUpdown::Change, this, [this] { Guarded(number(kSweep), [&] { showSweep(); }); });
    sweep->Edit()->setReadOnly(true);
    sweep->UpButton()->setEnabled(false);
    sweep->DownButton()->setEnabled(false);
    rateOverride = new QCheckBox("Override", this);
    rateOverride->setObjectName("chkOverride");
    rateOverride->adjustSize();
    rateOverride->move(kMargin + kTimingCaptionW + kFieldW + 10, yTiming + 1);
    BindCheck(rateOverride, "samplerate.override", number(kOverride));
    // The rate is the input's own unless overridden.
    connect(rateOverride, &QCheckBox::toggled, rate, &QWidget::setEnabled);
    stop = new QPushButton("Stop Playing", this);
    stop->setObjectName("cmdStop");
    stop->setGeometry(kWidth - kMargin - 110, yMode, 110, 24);
    connect(stop, &QPushButton::clicked, this, [this] { Guarded(number(kStop), [&] { stopClicked(); }); });
  }
  LayOut();
}

const std::vector<double>& CSoundPanel::Ladder() const { return capture ? kInputRates : kOutputRates; }

double CSoundPanel::NextRate(const std::vector<double>& ladder, double v, bool up) {
  if (up) {
    for (double r : ladder)
      if (r > v) return r;
  } else {
    for (auto r = ladder.rbegin(); r != ladder.rend(); ++r)
      if (*r < v) return *r;
  }
  return v;
}

void CSoundPanel::LayOut() {
  // Everything has its fixed place; only the input's offset frame comes and goes with "More".
  if (horOffset) horOffset->setVisible(more->isChecked());
}

void CSoundPanel::Fill() {
  fillDevices();
  showStereo();
  RefreshAll();  // the numbers, the check boxes and (input) "More" with its lay-out
  showSweep();
  if (rateOverride) rate->setEnabled(rateOverride->isChecked());
  if (!capture) FitToContents();
}

void CSoundPanel::fillDevices() {
  // Until the component has answered, and when its answer is no list, there is no device.
  devices->clear();
  haveDevices = false;
  devices->addItem(Literal(kNoDevices));
  devices->setCurrentIndex(0);
  devices->setEnabled(false);
  std::vector<std::string> list = List(".devices()");
  // The engine answers a command without output with the command line itself: no device.
  if (list.size() == 1 && list[0] == Label() + ".devices()") list.clear();
  if (list.empty()) return;
  devices->clear();
  for (const std::string& d : list) devices->addItem(QString::fromStdString(d));
  devices->setEnabled(true);
  haveDevices = true;
  showDevice();
}

void CSoundPanel::showDevice() {
  if (!haveDevices) return;
  const int32_t i = Lng("device");
  devices->setCurrentIndex(i >= 0 && i < devices->count() ? i : -1);  // an index past the list shows none
}

void CSoundPanel::showStereo() {
  // Both ways: an exclusive pair cannot be cleared, so 0 must select "Mono" itself.
  if (Lng("stereo") == 1)
    stereo->setChecked(true);
  else
    mono->setChecked(true);
}

void CSoundPanel::showSweep() {
  const int32_t r = Lng("samplerate");
  const int32_t n = Lng("reclen");
  sweep->SetText(r > 0 ? QString::fromStdString(Num(static_cast<double>(n) / r)) : QString());
}

void CSoundPanel::showCaption() {
  std::string t = Str("gui.caption");
  if (t.empty()) t = Str("gui.title");
  if (t.empty()) t = Label() + ": " + (capture ? "Import" : "Export");
  title = t;
  setWindowTitle(QString::fromStdString(title));
  if (Host()) Host()->Caption(&t);
}

void CSoundPanel::OnValue(const std::string& key) {
  updating = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{updating};
  Refresh(key);
  if (key == "samplerate" || key == "reclen") {
    showSweep();
  } else if (key == "stereo") {
    showStereo();
  } else if (key == "device") {
    showDevice();
  } else if (key == "gui.caption") {
    showCaption();
  }
}

void CSoundPanel::deviceChosen(int index) {
  if (updating || Loading() || !haveDevices || index < 0) return;
  if (Lng("device") != index) PutLng("device", index);
  showDevice();  // a refused choice shows the engine's device again
}

void CSoundPanel::stereoClicked() {
  if (updating || Loading()) return;
  const int32_t want = stereo->isChecked() ? 1 : 0;
  if (Lng("stereo") != want) PutLng("stereo", want);
  showStereo();
}

void CSoundPanel::sweepChanged(int action) {
  if (updating) return;
  if (action != TextUpdown::revert) {
    double t = Parse(sweep->Text().trimmed().toStdString());
    if (action == TextUpdown::stepUp || action == TextUpdown::stepDown)
      must(Utils()->scale125(t, action == TextUpdown::stepUp, &t), __LINE__, "Utils.scale125");
    const int32_t r = Lng("samplerate");
    const double n = std::round(r * t);
    // No length from a rate of 0 or a time that gives less than one point.
    if (r > 0 && std::isfinite(n) && n >= 1 && n <= std::numeric_limits<int32_t>::max()) PutLng("reclen", static_cast<int32_t>(n));
  }
  showSweep();
}

void CSoundPanel::stopClicked() {
  if (!Execute(".stop()")) throw PanelError{-1, __LINE__, "stop() failed"};
}
