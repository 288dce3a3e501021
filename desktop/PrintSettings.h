#pragma once
// The print set-up the shell keeps for the whole run: four page margins, the paper
// orientation and the printer (the program's QPrinter). Each dialog starts from them and an
// accepted one stores them in "Settings\Print" through the engine's settings, so they
// survive a restart.
//
// Margins are kept in the page set-up dialog's default unit of this locale, unconverted:
// thousandths of an inch, or hundredths of a millimetre where the locale is metric. A margin
// below 1 counts as not set: it is read from the settings again before every dialog and is
// never written; a margin once set stays as it is for the rest of the run.
//
// User-interface thread only.

#include <QPageLayout>
#include <QPrinter>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "KvCore/KvApi.h"

class QDialog;
class QWidget;

class CPrintSettings {
 public:
  // Where a fault in each dialog is reported.
  static constexpr long kLocPageSetup = 100170, kLocPrint = 100180;
  // The settings themselves.
  static constexpr const char* kSection = "Settings\\Print";
  static constexpr long kDefaultMargin = 1000;
  static constexpr int kPortrait = 1, kLandscape = 2, kDefaultOrientation = kLandscape;
  // How much of the printer's name is kept as its device name.
  static constexpr int kDeviceNameLength = 32;

  // utils is the engine's (may be null: the defaults are used and nothing is saved).
  explicit CPrintSettings(IUtils* utils);

  // The page set-up dialog; true when accepted (margins, orientation and printer taken).
  bool PageSetup(QWidget* owner);
  // The printer dialog; true when accepted (orientation and printer taken). Nothing is printed.
  bool PrintDialog(QWidget* owner);

  QPrinter& Printer() { return printer; }
  // 0 left, 1 top, 2 right, 3 bottom, as held in memory; 0 for any other side.
  long Margin(int side) const;
  int Orientation() const { return orientation; }

  // The unit margins are counted in and how many of them make one of Qt's (inch or mm).
  static QPageLayout::Unit MarginUnit();
  static double MarginScale();

  // The printer to make current for a device: the printer of exactly that name, else the one
  // named by exactly the device name's first kDeviceNameLength characters, else the first
  // whose name contains them; -1 when none does or the device has no name.
  static int ChoosePrinter(const QStringList& printers, const QString& device);

 private:
  IUtils* utils;
  QPrinter printer;
  std::array<long, 4> margins{};  // 0 = not set yet
  int orientation = kDefaultOrientation;

  // Loads the settings into the printer, shows the dialog make builds and takes back an accepted one.
  bool run(const std::function<std::unique_ptr<QDialog>()>& make, long location, bool takeMargins);
  void load(long location);
  void save(long location);
  void toPrinter();
  void fromPrinter(bool takeMargins);
  void choosePrinter();
  // The stored number, or def when missing, unreadable or not accepted by valid.
  long readNumber(long location, const char* key, long def, bool (*valid)(long));
  void writeNumber(long location, const char* key, long value);
};
