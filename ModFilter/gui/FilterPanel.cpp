#include "ModFilter/gui/FilterPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <algorithm>
#include <strings.h>

#include "KvCtlLib/TextUpdown.h"
#include "KvCtlLib/ToggleButton.h"

namespace {

// Error numbers of the panel's handlers (128xxx).
constexpr long kCaption = 128001, kLoad = 128002, kValueChanged = 128003, kType = 128004, kEdit = 128005,
               kApply = 128006, kRefresh = 128007, kDelimiter = 128008, kTabCaption = 128009, kUnload = 128010,
               kFreqMode = 128011, kResponse = 128012, kWindow = 128013, kFreqType = 128014, kOrder = 128015,
               kFreq1 = 128016, kFreq2 = 128017, kStages = 128018, kStageGain = 128019, kGain = 128020,
               kDecimation = 128021, kContinuous = 128022, kBypass = 128023, kReset = 128024, kMore = 128025;

constexpr int kMaxStages = 1000000;

// Lay-out, pixels: the type row, the two tabs, and below them the "More" area in two columns.
constexpr int kMargin = 6, kCaptionW = 96, kFieldW = 100, kFieldH = 21, kRowH = 26;
constexpr int kTabsW = 430, kTabsH = 236, kBoxW = 200, kBoxH = 140;
constexpr int kColumnW = kCaptionW + kFieldW, kCol1 = kColumnW + 20;

QLabel* caption(QWidget* parent, const char* text, int x, int y, int w = kCaptionW - 4) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(x, y + 2, w, kFieldH - 2);
  return l;
}

TextUpdown* field(QWidget* parent, int x, int y, const char* tip = nullptr) {
  auto* f = new TextUpdown(parent);
  f->setGeometry(x, y, kFieldW, kFieldH);
  if (tip) f->setToolTip(QString::fromUtf8(tip));
  return f;
}

QComboBox* list(QWidget* parent, int x, int y, const char* tip = nullptr, int w = kFieldW) {
  auto* c = new QComboBox(parent);
  c->setGeometry(x, y, w, kFieldH + 1);
  if (tip) c->setToolTip(QString::fromUtf8(tip));
  return c;
}

bool twoEdges(const QString& response) { return response.contains("band", Qt::CaseInsensitive); }

}  // namespace

CFilterPanel::CFilterPanel(QWidget* parent)
    : CPanel(parent, Traits{"gui", "Filter", nullptr, false, {kCaption, kLoad, kValueChanged, kTabCaption, kUnload}}) {
  caption(this, "Filter Type", kMargin, kMargin);
  type = list(this, kMargin + kCaptionW, kMargin, "Select filter type");
  more = new QCheckBox("More", this);
  more->setGeometry(kMargin + kTabsW - 70, kMargin, 70, kFieldH);

  tabs = new QTabWidget(this);
  tabs->setGeometry(kMargin, kMargin + kRowH + 4, kTabsW, kTabsH);
  auto* byCoeffs = new QWidget;
  auto* byResponse = new QWidget;
  tabs->addTab(byCoeffs, "By Coefficients");
  tabs->addTab(byResponse, "By Freq Response");

  // By coefficients: the two boxes side by side, the delimiter and the buttons below.
  coeffsCaption = caption(byCoeffs, "FIR Coefficients", kMargin, 4, kBoxW);
  coeffs = new QPlainTextEdit(byCoeffs);
  coeffs->setGeometry(kMargin, 24, kBoxW, kBoxH);
  coeffs->setToolTip("Enter FIR coefficients");
  yCoeffsCaption = caption(byCoeffs, "Bo...Bn", kMargin + kBoxW + 10, 4, kBoxW);
  yCoeffs = new QPlainTextEdit(byCoeffs);
  yCoeffs->setGeometry(kMargin + kBoxW + 10, 24, kBoxW, kBoxH);
  for (QPlainTextEdit* b : {coeffs, yCoeffs}) b->setLineWrapMode(QPlainTextEdit::NoWrap);
  const int below = 24 + kBoxH + 8;
  caption(byCoeffs, "Delimiter", kMargin, below, 60);
  delimiter = list(byCoeffs, kMargin + 62, below, "Select or enter coeffecient delimiter", 80);
  for (const char* d : {"Tab", "Line", "Space"}) delimiter->addItem(d);
  apply = new QPushButton("Apply", byCoeffs);
  apply->setToolTip("Applies the coefficient changes");
  apply->setGeometry(kMargin + kBoxW + 10, below, 95, kFieldH + 2);
  cancel = new QPushButton("Refresh", byCoeffs);
  cancel->setToolTip("Cancels the coefficient changes");
  cancel->setGeometry(kMargin + kBoxW + 10 + 105, below, 95, kFieldH + 2);

  // By frequency response: an FIR design.
  caption(byResponse, "Response Type", kMargin, 8);
  response = list(byResponse, kMargin + kCaptionW, 8, nullptr, 120);
  caption(byResponse, "Window", kMargin, 8 + kRowH);
  window = list(byResponse, kMargin + kCaptionW, 8 + kRowH, nullptr, 120);
  caption(byResponse, "Frequency Type", kMargin, 8 + 2 * kRowH);
  freqType = list(byResponse, kMargin + kCaptionW, 8 + 2 * kRowH, nullptr, 120);
  freqType->addItem("Digital (0-0.5)");
  freqType->addItem("Analog");
  caption(byResponse, "Filter Order", kMargin, 8 + 3 * kRowH);
  order = field(byResponse, kMargin + kCaptionW, 8 + 3 * kRowH);
  caption(byResponse, "Passband from", kMargin, 8 + 4 * kRowH);
  freq1 = field(byResponse, kMargin + kCaptionW, 8 + 4 * kRowH);
  freq2Caption = caption(byResponse, "to", kMargin + kCaptionW + kFieldW + 8, 8 + 4 * kRowH, 20);
  freq2 = field(byResponse, kMargin + kCaptionW + kFieldW + 30, 8 + 4 * kRowH);

  // Behind "More".
  moreArea = new QWidget(this);
  const int moreY = tabs->geometry().bottom() + 1 + 6;
  moreArea->setGeometry(kMargin, moreY, kTabsW, 3 * kRowH + kFieldH + 4);
  caption(moreArea, "Stages", 0, 0);
  stages = field(moreArea, kCaptionW, 0, "Number of cascaded identical stages of the specified filter");
  caption(moreArea, "Stage Gain", 0, kRowH);
  stageGain = field(moreArea, kCaptionW, kRowH, "Stage output gain per stage");
  caption(moreArea, "Filter Gain", 0, 2 * kRowH);
  gain = field(moreArea, kCaptionW, 2 * kRowH, "Ouput gain of the whole filter chain");
  caption(moreArea, "Decimation", kCol1, 0);
  decimation = field(moreArea, kCol1 + kCaptionW, 0);
  continuous = new QCheckBox("Continuous Mode", moreArea);
  continuous->setToolTip("Check continous mode if data from different acquisitions is time continuous");
  continuous->setGeometry(kCol1, kRowH, kColumnW, kFieldH);
  bypass = new ToggleButton(moreArea);
  bypass->SetCaption("ByPass Filter");
  bypass->SetForeColorOn(Qt::red);
  bypass->setToolTip("Bypasses the filter");
  bypass->setGeometry(kCol1, 2 * kRowH, 95, kFieldH + 2);
  reset = new QPushButton("Reset State", moreArea);
  reset->setGeometry(kCol1 + 105, 2 * kRowH, 95, kFieldH + 2);

  type->setObjectName("cmbType"), delimiter->setObjectName("cmbDelimiter"), response->setObjectName("cmbResponse");
  window->setObjectName("cmbWindow"), freqType->setObjectName("cmbFreqType"), tabs->setObjectName("tabMode");
  coeffs->setObjectName("txtCoeffs"), yCoeffs->setObjectName("txtYCoeffs");
  coeffsCaption->setObjectName("lblCoeffs"), yCoeffsCaption->setObjectName("lblYCoeffs");
  freq2Caption->setObjectName("lblFreq2"), apply->setObjectName("cmdApply"), cancel->setObjectName("cmdRefresh");
  order->setObjectName("txtOrder"), freq1->setObjectName("txtFreq1"), freq2->setObjectName("txtFreq2");
  stages->setObjectName("txtStages"), stageGain->setObjectName("txtStageGain"), gain->setObjectName("txtGain");
  decimation->setObjectName("txtDecimation"), continuous->setObjectName("chkContinuous");
  bypass->setObjectName("tglBypass"), reset->setObjectName("cmdReset"), more->setObjectName("chkMore");
  moreArea->setObjectName("fraMore");

  // A choice is written first (by the binding), then what it decides follows the engine.
  BindList(type, "filtertype", kType);
  connect(type, &QComboBox::activated, this, [this](int) {
    Guarded(kType, [&] {
      if (Loading()) return;
      applyType();
      showCounts();
    });
  });
  BindList(delimiter, "delimiter", kDelimiter);
  BindList(window, "fir.window", kWindow);
  BindList(response, "fir.response", kResponse);
  connect(response, &QComboBox::activated, this, [this](int) { Guarded(kResponse, [&] { applyResponse(); }); });
  connect(freqType, &QComboBox::activated, this, [this](int i) {
    Guarded(kFreqType, [&] {
      if (Loading()) return;
      PutLng("fir.freqtype", i);
      showFreqType();
    });
  });
  connect(tabs, &QTabWidget::currentChanged, this, [this](int i) {
    Guarded(kFreqMode, [&] {
      if (filling || Loading()) return;
      PutLng("freqmode", i);
      showFreqMode();
    });
  });

  // Filter order and decimation step by one and stay at 1 or above; stages also stay at or
  // below the module's limit.
  BindNumber(order, "fir.order", Fixed(1), kOrder, true).atLeast = 1;
  BindNumber(decimation, "decimation", Fixed(1), kDecimation, true).atLeast = 1;
  BindNumber(stages, "stages.count", Custom([](double v, bool up) { return std::clamp(up ? v + 1 : v - 1, 1.0, double(kMaxStages)); }),
             kStages, true)
      .atLeast = 1;
  BindNumber(stageGain, "stages.gain", Scale125(), kStageGain);
  BindNumber(gain, "gain", Scale125(), kGain);
  // A band edge steps through 1-2-5; up from nothing starts at 0.1, down never reaches 0.
  auto edge = [this](double v, bool up) {
    if (up && v <= 0) return 0.1;
    if (!up && v <= 0) return v;
    if (Utils()) Utils()->scale125(v, up, &v);
    return v;
  };
  BindNumber(freq1, "fir.freq1", Custom(edge), kFreq1);
  BindNumber(freq2, "fir.freq2", Custom(edge), kFreq2);
  BindCheck(continuous, "continuous", kContinuous);
  BindMore(more, kMore);

  connect(bypass, &ToggleButton::Change, this, [this](int on) {
    Guarded(kBypass, [&] {
      if (Loading()) return;
      PutLng("bypass", on ? 1 : 0);
      bypass->SetValue(Lng("bypass"));
    });
  });
  connect(reset, &QPushButton::clicked, this, [this] { Guarded(kReset, [&] { Execute(".reset"); }); });
  for (QPlainTextEdit* b : {coeffs, yCoeffs})
    connect(b, &QPlainTextEdit::textChanged, this, [this] {
      Guarded(kEdit, [&] {
        if (!filling && !Loading()) setEdited(true);
      });
    });
  connect(apply, &QPushButton::clicked, this, [this] { Guarded(kApply, [&] { applyCoeffs(); }); });
  connect(cancel, &QPushButton::clicked, this, [this] { Guarded(kRefresh, [&] { showCoeffs(false); }); });

  setEdited(false);
  yCoeffs->hide();
  yCoeffsCaption->hide();
  LayOut();
  FitToContents();
}

void CFilterPanel::Fill() {
  filling = true;
  type->clear();
  type->addItem("FIR");
  type->addItem("IIR");
  for (auto [box, key] : {std::pair{response, "fir.response.all"}, std::pair{window, "fir.window.all"}}) {
    box->clear();
    box->addItems(QString::fromStdString(Str(key)).split(',', Qt::SkipEmptyParts));
  }
  filling = false;
  RefreshAll();
  bypass->SetValue(Lng("bypass"));
  showFreqType();
  showFreqMode();
  applyResponse();
  applyType();
  showCoeffs(false);
  showCounts();
  FitToContents();
}

void CFilterPanel::applyType() {
  iir = strcasecmp(Str("filtertype").c_str(), "IIR") == 0;
  coeffs->setToolTip(iir ? "Enter or paste IIR numerator coefficients" : "Enter or paste FIR filter coefficients");
  yCoeffs->setToolTip("Enter or paste IIR denominator coefficients. The first coeff should be 1.");
  // Leaving IIR hides the denominator; its list is kept for a return to IIR.
  yCoeffs->setVisible(iir);
  yCoeffsCaption->setVisible(iir);
}

void CFilterPanel::showCoeffs(bool keepEdits) {
  // Unapplied edits are the user's work: a refresh from the engine (a new design, another
  // writer) must not wipe them; "Refresh" does, on purpose.
  if (keepEdits && apply->isEnabled()) return;
  filling = true;
  coeffs->setPlainText(QString::fromStdString(Str("coeffs")));
  yCoeffs->setPlainText(QString::fromStdString(Str("y.coeffs")));
  filling = false;
  setEdited(false);
}

void CFilterPanel::showCounts() {
  const QString n = QString::number(Lng("count"));
  if (!iir) {
    coeffsCaption->setText("FIR Coeffs, Cnt = " + n);
    return;
  }
  coeffsCaption->setText("X Coeffs, Cnt = " + n);
  yCoeffsCaption->setText("Y Coeffs, Cnt = " + QString::number(Lng("y.count")));
}

void CFilterPanel::showFreqType() {
  const int32_t i = Lng("fir.freqtype");
  freqType->setCurrentIndex(i >= 0 && i < freqType->count() ? i : -1);
}

void CFilterPanel::showFreqMode() {
  const int32_t m = Lng("freqmode");
  filling = true;
  if (m >= 0 && m < tabs->count()) tabs->setCurrentIndex(m);
  filling = false;
}

void CFilterPanel::applyResponse() {
  const bool two = twoEdges(ListText(response));
  freq2->setEnabled(two);
  freq2Caption->setEnabled(two);
}

void CFilterPanel::setEdited(bool edited) {
  apply->setEnabled(edited);
  cancel->setEnabled(edited);
}

void CFilterPanel::applyCoeffs() {
  const std::string x = coeffs->toPlainText().toStdString();
  const std::string y = yCoeffs->toPlainText().toStdString();
  PutStr("coeffs", x);
  if (iir) PutStr("y.coeffs", y);
  // A refused list (the module logs why) stays in its box with the buttons on, so the typing
  // is not lost; an accepted one is what the engine holds.
  if (Str("coeffs") != x || (iir && Str("y.coeffs") != y)) return;
  setEdited(false);
  showCounts();
}

void CFilterPanel::OnValue(const std::string& key) {
  if (key == "coeffs" || key == "y.coeffs") {
    showCoeffs(true);
    showCounts();
  } else if (key == "count" || key == "y.count") {
    showCounts();
  } else if (key == "filtertype") {
    Refresh(key);
    applyType();
    showCounts();
  } else if (key == "fir.response") {
    Refresh(key);
    applyResponse();
  } else if (key == "fir.freqtype") {
    showFreqType();
  } else if (key == "freqmode") {
    showFreqMode();
  } else if (key == "bypass") {
    bypass->SetValue(Lng("bypass"));
  } else {
    Refresh(key);
  }
}

void CFilterPanel::LayOut() { moreArea->setVisible(more->isChecked()); }
