#include "desktop/PrintSettings.h"

#include <QLocale>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QString>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>

#include "desktop/Dialogs.h"
#include "desktop/Guard.h"

namespace {

constexpr const char* kMarginKeys[4] = {"LeftMargin", "TopMargin", "RightMargin", "BottomMargin"};
constexpr const char* kOrientationKey = "Orientation";

// A page cannot have a negative margin; such a stored value is as good as none.
bool validMargin(long v) { return v >= 0; }
// The device mode knows only these two.
bool validOrientation(long v) { return v == CPrintSettings::kPortrait || v == CPrintSettings::kLandscape; }

}  // namespace

CPrintSettings::CPrintSettings(IUtils* u) : utils(u) {}

long CPrintSettings::Margin(int side) const { return side >= 0 && side < 4 ? margins[static_cast<size_t>(side)] : 0; }

QPageLayout::Unit CPrintSettings::MarginUnit() {
  return QLocale().measurementSystem() == QLocale::MetricSystem ? QPageLayout::Millimeter : QPageLayout::Inch;
}

double CPrintSettings::MarginScale() { return MarginUnit() == QPageLayout::Millimeter ? 100.0 : 1000.0; }

int CPrintSettings::ChoosePrinter(const QStringList& printers, const QString& device) {
  if (device.isEmpty()) return -1;  // an unnamed device (a file) matches every printer, so none
  int i = static_cast<int>(printers.indexOf(device));
  if (i >= 0) return i;
  const QString kept = device.left(kDeviceNameLength);
  i = static_cast<int>(printers.indexOf(kept));
  if (i >= 0) return i;
  for (i = 0; i < printers.size(); ++i)
    if (printers[i].contains(kept)) return i;
  return -1;
}

bool CPrintSettings::PageSetup(QWidget* owner) {
  return run([&] { return std::make_unique<QPageSetupDialog>(&printer, owner); }, kLocPageSetup, true);
}

bool CPrintSettings::PrintDialog(QWidget* owner) {
  // The printer dialog has no margins of its own: only the device (name, orientation) comes back.
  return run([&] { return std::make_unique<QPrintDialog>(&printer, owner); }, kLocPrint, false);
}

bool CPrintSettings::run(const std::function<std::unique_ptr<QDialog>()>& make, long location, bool takeMargins) {
  bool accepted = false;
  KvGuarded(utils, location, [&] {
    load(location);
    toPrinter();  // before the dialog exists: it starts from what the printer holds
    const std::unique_ptr<QDialog> dialog = make();
    if (CDialogs::Get().Exec(*dialog) != QDialog::Accepted) return;
    fromPrinter(takeMargins);
    save(location);
    choosePrinter();
    accepted = true;
  });
  return accepted;
}

void CPrintSettings::load(long location) {
  for (size_t i = 0; i < margins.size(); ++i)
    if (margins[i] < 1) margins[i] = readNumber(location, kMarginKeys[i], kDefaultMargin, validMargin);
  orientation = static_cast<int>(readNumber(location, kOrientationKey, kDefaultOrientation, validOrientation));
}

void CPrintSettings::save(long location) {
  for (size_t i = 0; i < margins.size(); ++i)
    if (margins[i] > 0) writeNumber(location, kMarginKeys[i], margins[i]);
  writeNumber(location, kOrientationKey, orientation);
}

void CPrintSettings::toPrinter() {
  QPageLayout layout = printer.pageLayout();
  layout.setUnits(MarginUnit());
  // Orientation first: margins are measured on the page as it is turned.
  layout.setOrientation(orientation == kPortrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  // The page refuses all four margins when one is out of its range, so each side is brought
  // into range on its own and the others start as stored.
  const double s = MarginScale();
  const QMarginsF lo = layout.minimumMargins(), hi = layout.maximumMargins();
  const auto fit = [&](long v, double min, double max) { return std::clamp(v / s, min, std::max(min, max)); };
  layout.setMargins(QMarginsF(fit(margins[0], lo.left(), hi.left()), fit(margins[1], lo.top(), hi.top()),
                              fit(margins[2], lo.right(), hi.right()), fit(margins[3], lo.bottom(), hi.bottom())));
  printer.setPageLayout(layout);
}

void CPrintSettings::fromPrinter(bool takeMargins) {
  const QPageLayout layout = printer.pageLayout();
  orientation = layout.orientation() == QPageLayout::Portrait ? kPortrait : kLandscape;
  if (!takeMargins) return;
  const QMarginsF m = layout.margins(MarginUnit());
  const double s = MarginScale();
  const double sides[4] = {m.left(), m.top(), m.right(), m.bottom()};
  for (size_t i = 0; i < margins.size(); ++i) margins[i] = std::lround(sides[i] * s);
}

void CPrintSettings::choosePrinter() {
  const QStringList names = QPrinterInfo::availablePrinterNames();
  const int i = ChoosePrinter(names, printer.printerName());
  if (i >= 0 && names[i] != printer.printerName()) printer.setPrinterName(names[i]);
}

long CPrintSettings::readNumber(long location, const char* key, long def, bool (*valid)(long)) {
  long value = def;
  // Each setting on its own: one that fails leaves its default and the others are still read.
  KvGuarded(utils, location, [&] {
    if (!utils) return;
    std::string text;
    if (utils->GetSetting(kSection, key, std::to_string(def), &text) != S_OK)
      throw std::runtime_error(std::string("cannot read ") + kSection + "\\" + key);
    bool ok = false;
    const double d = QString::fromStdString(text).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d) || d < static_cast<double>(LONG_MIN) || d > static_cast<double>(LONG_MAX)) return;
    const long v = std::lround(d);
    if (valid(v)) value = v;
  });
  return value;
}

void CPrintSettings::writeNumber(long location, const char* key, long value) {
  KvGuarded(utils, location, [&] {
    if (!utils) return;
    if (utils->SaveSetting(kSection, key, std::to_string(value)) != S_OK)
      throw std::runtime_error(std::string("cannot write ") + kSection + "\\" + key);
  });
}
