#include "ModSigGen/gui/SigGenPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <strings.h>

#include "KvCtlLib/TextUpdown.h"

namespace {

// Error numbers of the panel's handlers (127xxx).
constexpr long kCaption = 127001, kLoad = 127002, kValueChanged = 127003, kType = 127004, kNoise = 127005,
               kModType = 127006, kMore = 127007, kFreeze = 127008, kTabCaption = 127009, kUnload = 127010,
               kResetAngle = 127011, kAdditive = 127012, kFreq = 127013, kPk2pk = 127014, kOffset = 127015,
               kRate = 127016, kReclen = 127017, kShape = 127018, kGain = 127019, kHorOffset = 127020;

// Lay-out, pixels: two columns of caption and field, the modulation frame to their right and
// the horizontal offset below, both only with "More".
constexpr int kMargin = 6, kCaptionW = 104, kFieldW = 90, kFieldH = 21, kRowH = 26;
constexpr int kColumnW = kCaptionW + kFieldW, kGap = 12;
constexpr int kCol0 = kMargin, kCol1 = kCol0 + kColumnW + kGap, kRight = kCol1 + kColumnW;
constexpr int kModX = kRight + 10, kModW = 170, kModCaptionW = 40;

int rowY(int row) { return kMargin + row * kRowH; }

bool same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

QLabel* caption(QWidget* parent, const char* text, int x, int y, int w = kCaptionW - 4) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(x, y + 2, w, kFieldH - 2);
  return l;
}

TextUpdown* field(QWidget* parent, int x, int y, const char* tip, int w = kFieldW) {
  auto* f = new TextUpdown(parent);
  f->setGeometry(x, y, w, kFieldH);
  if (tip) f->setToolTip(QString::fromUtf8(tip));
  return f;
}

QComboBox* list(QWidget* parent, int x, int y, int w = kFieldW) {
  auto* c = new QComboBox(parent);
  c->setGeometry(x, y, w, kFieldH + 1);
  return c;
}

// Replaces a list's entries without raising the user's signals.
void setEntries(QComboBox* c, const std::vector<std::string>& entries) {
  c->clear();
  for (const std::string& e : entries) c->addItem(QString::fromStdString(e));
}

}  // namespace

CSigGenPanel::CSigGenPanel(QWidget* parent)
    : CPanel(parent, Traits{"gui", "SigGen", nullptr, false, {kCaption, kLoad, kValueChanged, kTabCaption, kUnload}}) {
  // Left column.
  caption(this, "Signal Type:", kCol0, rowY(0));
  type = list(this, kCol0 + kCaptionW, rowY(0));
  caption(this, "Frequency (Hz)", kCol0, rowY(1));
  freq = field(this, kCol0 + kCaptionW, rowY(1), "Enter the desired frequency in Hz");
  caption(this, "DC Offset (V)", kCol0, rowY(2));
  offset = field(this, kCol0 + kCaptionW, rowY(2), "Enter the DC offset in volts");
  resetAngle = new QPushButton("Reset Angle", this);
  resetAngle->setToolTip("Click to reset the output waveform angle");
  resetAngle->setGeometry(kCol0, rowY(3), kCaptionW - 4, kFieldH);
  more = new QCheckBox("More", this);
  more->setGeometry(kCol0 + kCaptionW, rowY(3), kFieldW, kFieldH);
  // Right column; the noise list and its caption take the shape field's place.
  shapeCaption = caption(this, "Symmetry (%)", kCol1, rowY(0));
  shape = field(this, kCol1 + kCaptionW, rowY(0), nullptr);
  noiseCaption = caption(this, "Noise Type", kCol1, rowY(0));
  noise = list(this, kCol1 + kCaptionW, rowY(0));
  caption(this, "Peak-peak (V)", kCol1, rowY(1));
  pk2pk = field(this, kCol1 + kCaptionW, rowY(1), "Enter the peak to peak level in volts");
  rateCaption = caption(this, "Sample Rate", kCol1, rowY(2));
  rate = field(this, kCol1 + kCaptionW, rowY(2), "Enter the sample rate in Samples/Sec");
  reclenCaption = caption(this, "Rec. Length", kCol1, rowY(3));
  reclen = field(this, kCol1 + kCaptionW, rowY(3), "Enter record length in points");
  // Behind "More".
  freeze = new QCheckBox("Freeze Signal", this);
  freeze->setToolTip("Click to switch signal freeze ON or OFF");
  freeze->setGeometry(kCol0, rowY(4), kColumnW, kFieldH);
  horFrame = new QGroupBox("Horizontal Offset (s)", this);
  horFrame->setGeometry(kCol0, rowY(5), kRight - kCol0, 20 + kRowH + 2);
  additive = new QCheckBox("Additive", horFrame);
  additive->setGeometry(10, 20, kCaptionW - 14, kFieldH);
  horOffset = field(horFrame, kCaptionW - kCol0, 20, nullptr, kFieldW + 40);
  modFrame = new QGroupBox("Modulation", this);
  modFrame->setGeometry(kModX, kMargin, kModW, 20 + 2 * kRowH + 4);
  caption(modFrame, "Type:", 8, 20, kModCaptionW);
  modType = list(modFrame, 8 + kModCaptionW, 20, kFieldW);
  gainCaption = caption(modFrame, "Gain:", 8, 20 + kRowH, kModCaptionW);
  gain = field(modFrame, 8 + kModCaptionW, 20 + kRowH, nullptr, kFieldW);
  gainUnit = caption(modFrame, "V/V", 8 + kModCaptionW + kFieldW + 4, 20 + kRowH, kModW - kModCaptionW - kFieldW - 14);

  type->setObjectName("cmbType"), noise->setObjectName("cmbNoise"), modType->setObjectName("cmbModType");
  freq->setObjectName("txtFreq"), pk2pk->setObjectName("txtPk2pk"), offset->setObjectName("txtOffset");
  rate->setObjectName("txtRate"), reclen->setObjectName("txtReclen"), shape->setObjectName("txtShape");
  gain->setObjectName("txtGain"), horOffset->setObjectName("txtHorOffset");
  shapeCaption->setObjectName("lblShape"), noiseCaption->setObjectName("lblNoise");
  rateCaption->setObjectName("lblRate"), reclenCaption->setObjectName("lblReclen");
  gainCaption->setObjectName("lblGain"), gainUnit->setObjectName("lblGainUnit");
  freeze->setObjectName("chkFreeze"), additive->setObjectName("chkAdditive"), more->setObjectName("chkMore");
  resetAngle->setObjectName("cmdResetAngle"), modFrame->setObjectName("fraModulation");
  horFrame->setObjectName("fraHorOffset");

  BindNumber(freq, "freq", Scale125(), kFreq);
  BindNumber(pk2pk, "pk2pk", Scale125(), kPk2pk);
  // The offset steps by a tenth of the amplitude as shown, typed or not.
  BindNumber(offset, "offset", Custom([this](double v, bool up) {
               const double tenth = Parse(pk2pk->Text().trimmed().toStdString()) / 10;
               if (Utils()) Utils()->safeadd(&v, up ? tenth : -tenth);
               return v;
             }),
             kOffset);
  BindNumber(rate, "samplerate", Scale125(), kRate);
  BindNumber(reclen, "reclen", Scale125(), kReclen, true);
  BindNumber(gain, "mod.gain", Scale125(), kGain);
  BindNumber(horOffset, "hor.offset", Offset(), kHorOffset);
  BindCheck(freeze, "freeze", kFreeze);
  BindCheck(additive, "hor.offset.additive", kAdditive);
  // A choice is written first (by the binding), then what it decides follows the engine.
  BindList(type, "type", kType);
  connect(type, &QComboBox::activated, this, [this](int) { Guarded(kType, [&] { applyType(); }); });
  BindList(noise, "noise.type", kNoise);
  BindList(modType, "mod.type", kModType);
  connect(modType, &QComboBox::activated, this, [this](int) { Guarded(kModType, [&] { applyModulation(); }); });
  // "More" runs the waveform's rules (the modulation list) before the lay-out and the write.
  connect(more, &QCheckBox::clicked, this, [this] { Guarded(kMore, [&] { applyType(); }); });
  BindMore(more, kMore);
  // The shape field changes its key with the waveform; its steps depend on the key.
  connect(shape, &TextUpdown::Change, this, [this](int action, int) { Guarded(kShape, [&] { shapeChanged(action); }); });
  connect(resetAngle, &QPushButton::clicked, this, [this] { Guarded(kResetAngle, [&] { PutDbl("angle", 0); }); });

  noise->hide();
  noiseCaption->hide();
  LayOut();
  FitToContents();
}

void CSigGenPanel::Fill() {
  setEntries(type, List(".wfm.types()"));
  Refresh("type");
  noise->hide();
  noiseCaption->hide();
  for (const char* k : {"freq", "pk2pk", "offset", "samplerate", "reclen", "freeze", "hor.offset.additive", "hor.offset"})
    Refresh(k);
  // "More" as stored, with the waveform's rules and the lay-out it asks for; nothing written.
  more->setChecked(Lng("gui.more") != 0);
  applyType();
  FitToContents();
}

void CSigGenPanel::applyType() {
  const std::string t = Lowered(Str("type"));
  if (t == "sine") {
    // A sine has no shape: the field shows the even split, greyed.
    shapeKey.clear();
    shape->SetText("50");
    shape->setEnabled(false);
    shape->show();
    shapeCaption->setText("Symmetry (%)");
    shapeCaption->setEnabled(false);
    shapeCaption->show();
    noise->hide();
    noiseCaption->hide();
  } else if (t == "noise") {
    std::vector<std::string> kinds = List(".noise.types()");
    if (kinds.empty()) kinds = {"Error"};
    setEntries(noise, kinds);
    Refresh("noise.type");
    noise->setEnabled(true);
    noise->show();
    noiseCaption->setEnabled(true);
    noiseCaption->show();
    shape->hide();
    shapeCaption->hide();
  } else {
    // A waveform not named here keeps the field's last caption and key; with no key (right
    // after a sine) there is nothing the field could write, so it stays greyed.
    const char* text = nullptr;
    if (t == "square") text = "Duty Cycle (%)", shapeKey = "duty";
    if (t == "triangle") text = "Symmetry (%)", shapeKey = "symmetry";
    if (t == "pulse") text = "Width (s)", shapeKey = "width";
    if (text) shapeCaption->setText(text);
    if (!shapeKey.empty()) showShape();
    shape->setEnabled(!shapeKey.empty());
    shape->show();
    shapeCaption->setEnabled(!shapeKey.empty());
    shapeCaption->show();
    noise->hide();
    noiseCaption->hide();
  }
  if (more->isChecked()) {
    setEntries(modType, List(".mod.types()"));
    Refresh("mod.type");
  }
  applyModulation();
}

void CSigGenPanel::applyModulation() {
  // The engine's value decides, also while the list is not filled (without "More").
  const bool on = !same(Str("mod.type"), "Off");
  if (on) {
    Refresh("mod.gain");
    gainUnit->setText(QString::fromStdString(Unit("mod.gain")));
  }
  for (QWidget* w : {static_cast<QWidget*>(gainCaption), static_cast<QWidget*>(gainUnit), static_cast<QWidget*>(gain)})
    w->setEnabled(on);
  // A modulated signal takes its rate and length from the modulation input.
  for (QWidget* w : {static_cast<QWidget*>(rateCaption), static_cast<QWidget*>(rate), static_cast<QWidget*>(reclenCaption),
                     static_cast<QWidget*>(reclen)})
    w->setEnabled(!on);
}

void CSigGenPanel::showShape() { shape->SetText(QString::fromStdString(Num(Dbl(shapeKey)))); }

void CSigGenPanel::shapeChanged(int action) {
  if (shapeKey.empty()) return;  // greyed: a sine, or no shaped waveform yet
  if (action == TextUpdown::revert) return showShape();
  double v = Parse(shape->Text().trimmed().toStdString());
  if (action == TextUpdown::stepUp || action == TextUpdown::stepDown) {
    const bool up = action == TextUpdown::stepUp;
    // A width steps through 1-2-5; a percentage by one, landing on whole numbers exactly.
    if (shapeKey == "width")
      Utils()->scale125(v, up, &v);
    else
      Utils()->safeadd(&v, up ? 1 : -1);
  }
  PutDbl(shapeKey, v);
  showShape();  // the engine's value: a refused write shows what is kept
}

void CSigGenPanel::OnValue(const std::string& key) {
  if (key == "duty" || key == "symmetry" || key == "width") {
    // Only the current waveform's value: another would be written to this one's key.
    if (key == shapeKey) showShape();
    return;
  }
  Refresh(key);
  if (key == "type" || key == "gui.more")
    applyType();
  else if (key == "mod.type")
    applyModulation();
}

void CSigGenPanel::LayOut() {
  const bool m = more->isChecked();
  freeze->setVisible(m);
  modFrame->setVisible(m);
  horFrame->setVisible(m);
}
