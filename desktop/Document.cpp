#include "desktop/Document.h"

#include <strings.h>

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>

#include "desktop/Dialogs.h"
#include "desktop/Guard.h"
#include "desktop/NewDialog.h"
#include "desktop/frmMain.h"
#include "desktop/frmSch.h"
#include "shell/SetupFile.h"

namespace {

const char* const kTitle = "Kelvane";
const char* const kRecentSection = "Settings\\Files";
constexpr int kRecent = 4;
// Fixed error-report locations of the workspace routines.
constexpr long kLocLoadSetup = 100210, kLocSaveSetup = 100220, kLocClearSetup = 100230;

CDocument* g_document = nullptr;  // the one the workspace calls back

std::string text(intptr_t arg) {
  const char* s = reinterpret_cast<const char*>(arg);
  return s ? s : "";
}

long loadRoutine(intptr_t name, intptr_t) { return g_document ? g_document->LoadSetup(text(name)) : -1; }
long saveRoutine(intptr_t name, intptr_t) { return g_document ? g_document->SaveSetup(text(name)) : -1; }
long clearRoutine(intptr_t, intptr_t) { return g_document ? g_document->ClearSetup() : -1; }

std::string recentKey(int i) { return "File" + std::to_string(i); }

size_t folderEnd(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

CDocument::CDocument(frmMain& m) : main(m) {}

CDocument::~CDocument() { Unbind(); }

void CDocument::Bind(IApp* a, IUtils* u) {
  app = a;
  utils = u;
  wrkspc.reset();
  if (!app) return;
  app->get_WrkSpc(wrkspc.put());
  g_document = this;
  wrkspc->Init(loadRoutine, saveRoutine, clearRoutine);
}

void CDocument::Unbind() {
  if (wrkspc) wrkspc->Init(nullptr, nullptr, nullptr);
  if (g_document == this) g_document = nullptr;
  wrkspc.reset();
  app = nullptr;
  utils = nullptr;
}

std::string CDocument::name() const {
  std::string n;
  if (wrkspc) wrkspc->get_Name(&n);
  return n;
}

std::string CDocument::Extension(const std::string& name) {
  const size_t from = folderEnd(name), dot = name.rfind('.');
  if (dot == std::string::npos || dot < from) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string CDocument::BaseName(const std::string& name) {
  const size_t from = folderEnd(name), dot = name.rfind('.');
  return name.substr(from, dot == std::string::npos || dot < from ? std::string::npos : dot - from);
}

// ---------------------------------------------------------------------------------------
// The workspace routines
// ---------------------------------------------------------------------------------------

long CDocument::LoadSetup(const std::string& file) {
  long result = 0;
  loadErrors = 0;
  KvGuarded(utils, kLocLoadSetup, [&] {
    if (file.empty()) return;
    if (!QFileInfo::exists(QString::fromStdString(file))) {
      utils->AddLog("The requested file \"" + file + "\" does not exist", sevSysErr);
      result = -1;
      return;
    }
    main.setCursor(Qt::WaitCursor);
    QCoreApplication::processEvents();
    utils->AddLog("Loading setup from " + file + ".", sevSys);
    Named(file);
    std::string libraryBefore, libraryAfter;
    utils->get_LibraryPath(&libraryBefore);
    long sections = 0, errors = 0;
    bool engineDone = false;
    wrkspc->GetSectionCount(&sections);
    for (long i = 0; i < sections; ++i) {
      std::string section;
      wrkspc->GetSectionName(i, &section);
      if (strcasecmp(section.c_str(), "kelvane") == 0) {
        // The engine replays its own section, the first of that name; a second one is text.
        if (engineDone) continue;
        engineDone = true;
        long failed = 0;
        app->LoadNetlist(&failed);
        errors += failed;
      } else if (strcasecmp(section.c_str(), "schematic") == 0) {
        frmSch* sch = main.Schematic();
        if (!sch->Load()) {
          // The drawing's components are missing, which the engine's lines will not say.
          utils->AddLog("The setup's schematic is not loaded: no schematic editor is installed", sevSysErr);
          ++errors;
          continue;
        }
        std::string state;
        wrkspc->GetSection(i, &state);
        errors += sch->LoadState(state);
      }
    }
    utils->get_LibraryPath(&libraryAfter);
    if (libraryAfter != libraryBefore) utils->AddLog("The setup set the library path to " + libraryAfter, sevWarn);
    loadErrors = errors;
    if (errors == 0)
      utils->AppendLog(" Done.", sevSys);
    else
      utils->AddLog(std::to_string(errors) + " error(s) in setup file", sevSysErr);
  });
  main.unsetCursor();
  QCoreApplication::processEvents();
  return result;
}

std::string CDocument::SetupText() {
  SetupSchematic schematic;
  frmSch* sch = main.Schematic();
  std::string state;
  if (sch->SaveState(&state) == 1) {
    schematic.present = true;
    schematic.state = state;
    schematic.components = sch->Components();
  }
  return SetupFileText(app, schematic, main.PlacementBlock());
}

long CDocument::SaveSetup(const std::string& file) {
  long result = -1;
  KvGuarded(utils, kLocSaveSetup, [&] {
    QCoreApplication::processEvents();
    if (file.empty()) return;
    // Written beside the old file and renamed over it: a failed save leaves the old one.
    std::string error;
    if (!SetupWrite(file, SetupText(), error)) {
      utils->AddLog(error, sevSysErr);
      return;
    }
    Named(file);
    result = 0;
  });
  return result;
}

long CDocument::ClearSetup() {
  KvGuarded(utils, kLocClearSetup, [&] {
    main.Schematic()->ClearState();
    long r = 0;
    app->UnloadNetlist(&r);
    main.setWindowTitle(kTitle);
    QCoreApplication::processEvents();
  });
  return 0;
}

// ---------------------------------------------------------------------------------------
// Caption and recent files
// ---------------------------------------------------------------------------------------

std::vector<std::string> CDocument::Recent() const {
  std::vector<std::string> entries(kRecent);
  if (!utils) return entries;
  for (int i = 0; i < kRecent; ++i) utils->GetSetting(kRecentSection, recentKey(i), "", &entries[static_cast<size_t>(i)]);
  return entries;
}

void CDocument::Named(const std::string& file) {
  if (file.empty()) {
    main.setWindowTitle(kTitle);
    return;
  }
  main.setWindowTitle(QString::fromStdString(file.substr(folderEnd(file)) + " - " + kTitle + " [" + file + "]"));
  const std::vector<std::string> before = Recent();
  std::vector<std::string> entries = before;
  // Exactly: two files whose names differ in case are two files here.
  const auto found = std::find(entries.begin(), entries.end(), file);
  if (found != entries.end()) std::iter_swap(found, entries.begin());
  if (entries.front() != file) {
    std::rotate(entries.begin(), entries.end() - 1, entries.end());
    entries.front() = file;
  }
  // Each write rewrites the settings file: only the entries that moved.
  for (int i = 0; i < kRecent; ++i)
    if (entries[static_cast<size_t>(i)] != before[static_cast<size_t>(i)])
      utils->SaveSetting(kRecentSection, recentKey(i), entries[static_cast<size_t>(i)]);
  RefreshRecent();
}

void CDocument::RefreshRecent() {
  const std::vector<std::string> entries = Recent();
  bool any = false;
  for (int i = 0; i < kRecent; ++i) {
    QAction* a = main.FindAction(QString::fromStdString("mnuRecent" + std::to_string(i)));
    if (!a) continue;
    QString caption = QString::fromStdString(entries[static_cast<size_t>(i)]);
    a->setText(caption.replace("&", "&&"));
    a->setVisible(!caption.isEmpty());
    any = any || !caption.isEmpty();
  }
  if (QAction* bar = main.FindAction("mnuRecentBar")) bar->setVisible(any);
}

// ---------------------------------------------------------------------------------------
// The File menu
// ---------------------------------------------------------------------------------------

bool CDocument::confirmClose() {
  std::string n = name();
  long count = 0;
  if (app) app->get_CompCount(&count);
  // A network built in the console is as much the user's work as a file.
  if (n.empty() && count == 0) return true;
  if (n.empty()) n = "untitled";
  return CDialogs::Get().MsgBox("Are you sure you want to close " + n, DlgButtons::okCancel, DlgIcon::question,
                                kTitle) == dlgOk;
}

bool CDocument::readyToClose() {
  auto busy = [this] {
    bool b = false;
    app->get_isBusy(&b);
    return b;
  };
  if (!busy()) return true;
  app->put_bAbort(true);
  main.WaitWhile(busy, 2.0);
  if (!busy()) return true;
  utils->AddLog("The setup stays open: the engine is still busy", sevSysErr);
  return false;
}

void CDocument::New() {
  if (!confirmClose()) return;
  CNewDialog dialog(kTitle, &main);
  if (CDialogs::Get().Exec(dialog) != QDialog::Accepted) return;
  const std::string key = dialog.SelectedKey();
  if (key.empty()) return;
  main.setCursor(Qt::WaitCursor);
  dialog.hide();
  // Named for the caption and the recent files only: the workspace keeps what it holds.
  std::string folder;
  utils->get_WorkspacePath(&folder);
  Named(folder + (folder.empty() || folder.back() == '/' ? "" : "/") + "untitled.kvs");
  if (key == "SCHDOC") main.Schematic()->Load();
  main.unsetCursor();
}

void CDocument::Open() {
  if (!confirmClose()) return;
  std::string folder, file;
  utils->get_WorkspacePath(&folder);
  if (!CDialogs::Get().FileDialog(FileDlg::open, "Open Existing", std::string(kTitle) + " Script Files (*.kvs)", folder,
                                  &file))
    return;
  if (!readyToClose()) return;
  long r = 0;
  wrkspc->Close(&r);
  wrkspc->Open(file, &r);
}

void CDocument::Close() {
  if (!readyToClose()) return;
  long r = 0;
  wrkspc->Close(&r);
}

void CDocument::Save() {
  const std::string base = BaseName(name());
  if (base.empty() || base == "untitled") return SaveAs();
  long r = 0;
  wrkspc->Save(&r);
}

void CDocument::SaveAs() {
  const std::string current = name(), ext = Extension(current);
  const std::string filter =
      ext.empty() || ext == "kvs" ? std::string(kTitle) + " Script Files (*.kvs)" : std::string("All Files (*.*)");
  std::string start = current, file;
  if (start.empty()) utils->get_WorkspacePath(&start);
  if (!CDialogs::Get().FileDialog(FileDlg::saveAs, "Save As", filter, start, &file)) return;
  long r = 0;
  wrkspc->SaveAs(file, &r);
}

void CDocument::OpenRecent(int index) {
  const std::vector<std::string> entries = Recent();
  if (index < 0 || index >= kRecent || entries[static_cast<size_t>(index)].empty()) return;
  if (!confirmClose() || !readyToClose()) return;
  long r = 0;
  wrkspc->Close(&r);
  wrkspc->Open(entries[static_cast<size_t>(index)], &r);
  if (r < 0) {
    utils->SaveSetting(kRecentSection, recentKey(index), "");
    RefreshRecent();
  }
}
