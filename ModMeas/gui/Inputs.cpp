#include "ModMeas/gui/Inputs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDrag>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>

#include "KvCtlLib/TextUpdown.h"

namespace {

// Error numbers of the panel's handlers (124xxx).
constexpr long kCaption = 124001, kTabCaption = 124002, kLoad = 124003, kValueChanged = 124004, kUnload = 124005,
               kEdge = 124006, kMore = 124007, kDrag = 124008, kFields = 124010;  // + channel * 10 + field

const char* const kNames[] = {"Clock", "Data", "Control"};
const char* const kPrefixes[] = {"ck.", "dt.", "ctl."};
const char* const kLevels[] = {"high", "mid", "low"};
const char* const kLevelCaptions[] = {"High", "Mid", "Low"};
const char* const kHelp =
    "Enter required thresholds for required channels. For clock measurements, enter clock thresholds. For data "
    "measurements, enter data thresholds. For multi- channel measurements, enter both clock && data thresholds";

// Lay-out, pixels.
constexpr int kMargin = 6, kFrameW = 200, kRowH = 25, kFieldX = 80, kFieldW = 100, kFieldH = 21;
constexpr int kFrameH = 20 + 5 * kRowH + 4, kOffsetsH = 20 + 3 * kRowH + 4, kHelpH = 48;

TextUpdown* row(QGroupBox* frame, int y, const QString& caption) {
  auto* l = new QLabel(caption, frame);
  l->setGeometry(10, y + 2, kFieldX - 12, kFieldH - 2);
  auto* f = new TextUpdown(frame);
  f->setGeometry(kFieldX, y, kFieldW, kFieldH);
  return f;
}

}  // namespace

CMeasInputs::CMeasInputs(QWidget* parent)
    : CPanel(parent, Traits{"igui", "Thresholds", ":Thr", false, {kCaption, kLoad, kValueChanged, kTabCaption, kUnload}}) {
  help = new QLabel(Literal(kHelp), this);
  help->setWordWrap(true);
  help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  help->setObjectName("lblHelp");
  for (int c = 0; c < 3; ++c) {
    Channel& ch = channels[static_cast<size_t>(c)];
    ch.prefix = kPrefixes[c];
    const std::string p = ch.prefix;
    ch.frame = new QGroupBox(kNames[c], this);
    ch.frame->resize(kFrameW, kFrameH);
    ch.edge = new QComboBox(ch.frame);
    ch.edge->setGeometry(10, 20, kFieldX + kFieldW - 10, kFieldH + 1);
    if (c < 2)
      ch.edge->addItems({"Rise", "Fall", "Both"});
    else
      ch.edge->addItems({"Off", "Low", "High"});
    BindList(ch.edge, p + "edgetype", kEdge);
    const QString n = QString::number(c);
    ch.frame->setObjectName("fra" + n);
    ch.edge->setObjectName("cmbEdge" + n);
    for (int i = 0; i < 3; ++i) {
      ch.rise[i] = row(ch.frame, 20 + (i + 1) * kRowH, kLevelCaptions[i]);
      ch.rise[i]->setObjectName("txtRise" + n + QString::number(i));
      BindNumber(ch.rise[i], p + "rise." + kLevels[i], Fixed(0.1), kFields + c * 10 + i);
    }
    ch.hysteresis = row(ch.frame, 20 + 4 * kRowH, "Hysteresis");
    ch.hysteresis->setObjectName("txtHys" + n);
    BindNumber(ch.hysteresis, p + "hysteresis", Fixed(0.1), kFields + c * 10 + 3);
    ch.offsets = new QGroupBox("Falling Edge Threshold Offsets:", this);
    ch.offsets->resize(kFrameW, kOffsetsH);
    ch.offsets->setObjectName("fraOffsets" + n);
    for (int i = 0; i < 3; ++i) {
      ch.fall[i] = row(ch.offsets, 20 + i * kRowH, kLevelCaptions[i]);
      ch.fall[i]->setObjectName("txtFall" + n + QString::number(i));
      BindNumber(ch.fall[i], p + "fall." + kLevels[i], Fixed(0.1), kFields + c * 10 + 4 + i);
    }
  }
  more = new QCheckBox("More", this);
  more->adjustSize();
  more->setObjectName("chkMore");
  BindMore(more, kMore);
  LayOut();
}

void CMeasInputs::Fill() {
  for (Channel& ch : channels) ch.visible = Lng(std::string(ch.prefix) + "visible") != 0;
  RefreshAll();  // edge lists, the seven numbers of each channel, "More" and the lay-out
}

void CMeasInputs::OnValue(const std::string& key) {
  // "igui.more", an edge list or a field of its own key; else by the channel's prefix.
  if (Refresh(key)) return;
  for (Channel& ch : channels) {
    const std::string p = ch.prefix;
    if (key.compare(0, p.size(), p) != 0) continue;
    const std::string rest = key.substr(p.size());
    if (rest == "visible") {
      ch.visible = Lng(key) != 0;
      FitToContents();
    } else if (rest == "high" || rest == "mid" || rest == "low") {
      // The plain threshold is the rising one and clears its falling offset.
      Refresh(p + "rise." + rest);
      Refresh(p + "fall." + rest);
    }
    return;
  }
}

void CMeasInputs::LayOut() {
  int shown = 0;
  for (const Channel& ch : channels) shown += ch.visible ? 1 : 0;
  // The help text wraps to the width of the visible channels and pushes them down.
  const int width = std::max(shown, 2) * (kFrameW + kMargin) - kMargin;
  const int helpH = std::max(kHelpH, help->heightForWidth(width));
  help->setGeometry(kMargin, kMargin, width, helpH);
  int x = kMargin;
  const int top = kMargin + helpH + 4;
  for (Channel& ch : channels) {
    ch.frame->setVisible(ch.visible);
    ch.offsets->setVisible(ch.visible && more->isChecked());
    if (!ch.visible) continue;
    ch.frame->move(x, top);
    ch.offsets->move(x, top + kFrameH + 4);
    x += kFrameW + kMargin;
  }
  int y = top;
  if (shown) y += kFrameH + 4 + (more->isChecked() ? kOffsetsH + 4 : 0);
  more->move(kMargin, y);
}

QMimeData* CMeasInputs::DragData() {
  auto* d = new QMimeData;
  d->setText(kDragText);
  return d;
}

void CMeasInputs::mousePressEvent(QMouseEvent* e) {
  pressed = e->button() == Qt::LeftButton;
  pressedAt = e->pos();
  CPanel::mousePressEvent(e);
}

void CMeasInputs::mouseMoveEvent(QMouseEvent* e) {
  if (pressed && (e->buttons() & Qt::LeftButton) &&
      (e->pos() - pressedAt).manhattanLength() >= QApplication::startDragDistance()) {
    pressed = false;
    Guarded(kDrag, [&] {
      auto* drag = new QDrag(this);
      drag->setMimeData(DragData());
      drag->exec(Qt::CopyAction);
    });
    return;
  }
  CPanel::mouseMoveEvent(e);
}
