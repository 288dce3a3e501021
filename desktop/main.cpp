// kelvane: the desktop workbench. See CommandLine.h for its arguments. Without a display it
// runs off screen, prints the measurement report of what it opened and ran, and closes.
// Exit status: 0; 1 when a setup could not be opened (or had failing lines) or a grab not written; 2 for a usage
// error or an unreadable file.

#include <QApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTabBar>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "KvDll/FileRead.h"
#include "desktop/CommandLine.h"
#include "desktop/Dialogs.h"
#include "desktop/Document.h"
#include "desktop/QtWnd.h"
#include "desktop/frmMain.h"
#include "desktop/frmSch.h"
#include "shell/Report.h"

namespace {

// The whole file, read as the setup reader reads (regular files only, bounded), or why not.
bool readText(const std::string& file, std::string& text) {
  std::string reason;
  if (KvReadFile(file, kMaxSetupFile, text, reason)) return true;
  std::fprintf(stderr, "kelvane: cannot read %s: %s\n", file.c_str(), reason.c_str());
  return false;
}

// Each line as the headless runner runs it, the answers as it prints them.
void execute(IApp* app, const std::string& text) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string answer;
    long result = 0;
    app->Execute(line, &answer, &result);
    if (!answer.empty()) std::printf("%s\n", answer.c_str());
    std::fflush(stdout);
    QCoreApplication::processEvents();
  }
}

const char* const kConsole = "KvPlugins.CmdConsole";

// The command console's control, its tab made (or selected) first; null when no control
// library offers one or it is not the console this program knows (a text box that tells
// its dialogue's length and text).
QWidget* console(frmMain& w) {
  if (!w.Controls().Find(kConsole)) return nullptr;
  w.ShowToolWindow("Console", kConsole);
  for (const cCtrl* c : w.Shell().ctrls)
    if (c->ctrl && QString::fromStdString(c->compType).compare(kConsole, Qt::CaseInsensitive) == 0 &&
        c->ctrl->findChild<QPlainTextEdit*>() && c->ctrl->property("length").isValid())
      return c->ctrl;
  return nullptr;
}

void key(QWidget* box, int code, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
  QCoreApplication::sendEvent(box, &press);
  QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
  QCoreApplication::sendEvent(box, &release);
}

// Each line typed into the console and entered, as a user would; what the console appended
// is printed without the new prompt (and without the line break that ended the typed line),
// so plain answers print as the headless runner prints them and listings appear too.
void typeInto(QWidget* console, const std::string& text) {
  auto* box = console->findChild<QPlainTextEdit*>();
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    box->moveCursor(QTextCursor::End);
    if (!line.empty()) key(box, Qt::Key_unknown, QString::fromStdString(line));
    const int before = console->property("length").toInt();
    key(box, Qt::Key_Return);
    QString added;
    QMetaObject::invokeMethod(console, "TextFrom", Q_RETURN_ARG(QString, added), Q_ARG(int, before));
    if (added.endsWith('>')) added.chop(1);
    if (added.startsWith("\r\n")) added.remove(0, 2);
    added.replace("\r\n", "\n");
    const QByteArray out = added.toUtf8();
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    std::fflush(stdout);
    QCoreApplication::processEvents();
  }
}

// The panel window named (or captioned) name, or the one holding a tool window of that label
// with that tab brought to the front.
QWidget* findPanelWindow(frmMain& w, const std::string& name) {
  const QString n = QString::fromStdString(name);
  // "Schematic" is the schematic window, when a setup or the user showed it.
  if (n.compare("schematic", Qt::CaseInsensitive) == 0) {
    frmSch* sch = w.Schematic();
    return sch && sch->isVisible() ? sch : nullptr;
  }
  for (frmHost* h : w.Shell().hosts)
    if (QString::fromStdString(h->WndName()).compare(n, Qt::CaseInsensitive) == 0 ||
        h->windowTitle().compare(n, Qt::CaseInsensitive) == 0)
      return h;
  for (frmHost* h : w.Shell().hosts) {
    const int at = h->FindCtrl(name);
    if (at < 0) continue;
    h->SelectTab(at);
    return h;
  }
  return nullptr;
}

bool grab(QWidget* widget, const std::string& file) {
  KvQtFlushText();
  QCoreApplication::processEvents();
  const QPixmap image = widget->grab();
  if (image.isNull() || !image.save(QString::fromStdString(file), "PNG")) {
    std::fprintf(stderr, "kelvane: cannot write %s\n", file.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  KelvaneArgs args;
  std::string error;
  if (!ParseKelvaneArgs(std::vector<std::string>(argv + 1, argv + argc), args, error)) {
    std::fprintf(stderr, "kelvane: %s\n%s\n", error.c_str(), kKelvaneUsage);
    return 2;
  }
  if (args.help) {
    std::printf("%s\n", kKelvaneUsage);
    return 0;
  }
  // The setup is read again by the workspace when opened; here only its readability counts.
  std::string execText;
  if (std::string setup; !args.open.empty() && !readText(args.open, setup)) return 2;
  if (!args.exec.empty() && !readText(args.exec, execText)) return 2;
  // Without a display the workbench still runs, drawn off screen; as nobody can see or close
  // it, it then works as a batch: it prints what the measurements found and closes.
  const bool headless = !std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
  if (headless) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    args.quit = true;
  }

  QApplication qt(argc, argv);
  KvQtInstallPump();
  if (args.quit) CDialogs::Get().SetMode(CDialogs::Mode::defaults);
  int status = 0;
  {
    frmMainOptions options;
    options.lib = args.lib;
    options.ctl = args.ctl;
    frmMain w(options);
    if (w.Load()) {
      if (!args.open.empty()) {
        KvPtr<IWrkSpc> wrkspc;
        w.App()->get_WrkSpc(wrkspc.put());
        long r = -1;
        wrkspc->Open(args.open, &r);
        if (r != 0) {
          std::fprintf(stderr, "kelvane: cannot open %s\n", args.open.c_str());
          status = 1;
        } else if (const long errors = w.Document().LoadErrors(); errors > 0) {
          // Opened, but not as saved: a batch run must not pass for a clean one.
          std::fprintf(stderr, "kelvane: %ld error(s) in setup file %s\n", errors, args.open.c_str());
          status = 1;
        }
      }
      if (!args.exec.empty()) {
        if (QWidget* c = console(w))
          typeInto(c, execText);
        else
          execute(w.App(), execText);
      }
      if (args.run && w.Control()) w.Control()->Run();
      w.WaitIdle();
      if (headless) {
        const std::string report = ReportWrite(ReportCollect(w.App()), ReportFormat::text);
        std::fwrite(report.data(), 1, report.size(), stdout);
        std::fflush(stdout);
      }
    } else {
      w.show();
    }
    if (!args.grab.empty() && !grab(&w, args.grab)) status = 1;
    if (!args.grabWidgetName.empty()) {
      QWidget* panel = findPanelWindow(w, args.grabWidgetName);
      if (!panel) std::fprintf(stderr, "kelvane: no window %s\n", args.grabWidgetName.c_str());
      if (!panel || !grab(panel, args.grabWidgetFile)) status = 1;
    }
    if (args.quit) {
      w.close();
    } else {
      qt.exec();
    }
  }
  KvQtRemovePump();
  return status;
}
