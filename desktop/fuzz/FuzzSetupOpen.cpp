// Any bytes as a setup file, opened through the workspace on one main window: the sections,
// the engine's lines, the schematic's section and the panel lines must load without a fault,
// an existing file must always open, and closing it must leave no component and no panel of
// a component it loaded behind. A line may start passes (a pass in place, a trigger that fires itself): each
// input ends with an abort, so none outlives its input.

#include <dlfcn.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "KvDll/GlobalData.h"
#include "desktop/Dialogs.h"
#include "desktop/QtWnd.h"
#include "desktop/frmHost.h"
#include "desktop/frmMain.h"

namespace {

// Bigger inputs only repeat what a few lines already reach, at the cost of speed.
constexpr size_t kMaxInput = 4096;

// In memory where there is a memory file system: every open writes the recent files, each
// write synced to disk.
QString scratchTemplate() {
  return QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/FuzzSetupOpen-XXXXXX") : QDir::tempPath() + "/FuzzSetupOpen-XXXXXX";
}

struct Rig {
  QTemporaryDir folder{scratchTemplate()};  // the settings store and the setup file
  QApplication* qt = nullptr;
  frmMain* main = nullptr;
  KvPtr<IWrkSpc> wrkspc;
  std::string file, lib;
};
Rig* g_rig = nullptr;
bool g_strictOrphans = false;

bool busy() {
  bool b = false;
  g_rig->main->App()->get_isBusy(&b);
  return b;
}

// No pass runs and none is pending: the next input starts from a quiet engine.
void settle() {
  IApp* app = g_rig->main->App();
  if (busy()) {
    app->put_bAbort(true);
    g_rig->main->WaitWhile(busy, 5.0);
    long stuck = 0;
    if (busy()) app->kill(1000, &stuck);
    if (busy()) {
      std::fprintf(stderr, "FuzzSetupOpen: the engine stayed busy after an abort and a kill\n");
      std::abort();
    }
  }
  app->put_bAbort(false);
  app->put_bStop(false);
}

// The components the module panels belong to, each once (a component's name ignoring case).
std::set<std::string> panelComponents() {
  std::set<std::string> names;
  for (const frmHost* h : g_rig->main->Shell().hosts)
    for (const cCtrl* c : h->Ctrls())
      if (!c->bInternal) names.insert(QString::fromStdString(c->compName).toLower().toStdString());
  return names;
}

std::set<std::string> loadedComponents() {
  IApp* app = g_rig->main->App();
  std::set<std::string> names;
  long count = 0;
  app->get_CompCount(&count);
  for (long i = 0; i < count; ++i) {
    std::string label;
    app->get_CompLabel(i, &label);
    names.insert(QString::fromStdString(label).toLower().toStdString());
  }
  return names;
}

// Opens text as the setup file, ends whatever passes it started, and closes it again.
void openOnce(const char* data, size_t size) {
  {
    std::ofstream out(g_rig->file, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  IApp* app = g_rig->main->App();
  long r = -1;
  g_rig->wrkspc->Open(g_rig->file, &r);
  std::string opened;
  g_rig->wrkspc->get_Name(&opened);
  // The file is there: whatever it holds, it opens and becomes the workspace's.
  if (r != 0 || opened != g_rig->file) {
    std::fprintf(stderr, "FuzzSetupOpen: an existing file did not open (%ld, \"%s\")\n", r, opened.c_str());
    std::abort();
  }
  settle();
  // A "show" line for a component that is not loaded makes a panel window all the same, and
  // no unload ever takes it away again: such panels are known, and cleared after the close
  // (FUZZ_SETUP_ORPHANS=abort stops on them instead).
  std::set<std::string> orphans;
  const std::set<std::string> loaded = loadedComponents();
  for (const std::string& c : panelComponents())
    if (!loaded.count(c)) orphans.insert(c);
  if (!orphans.empty() && g_strictOrphans) {
    std::fprintf(stderr, "FuzzSetupOpen: a panel of \"%s\", which is not loaded, is shown\n", orphans.begin()->c_str());
    std::abort();
  }
  g_rig->wrkspc->Close(&r);
  QCoreApplication::processEvents();
  long count = -1;
  app->get_CompCount(&count);
  if (count != 0) {
    std::fprintf(stderr, "FuzzSetupOpen: the close left %ld component(s)\n", count);
    std::abort();
  }
  for (const std::string& c : panelComponents()) {
    if (!orphans.count(c)) {
      std::fprintf(stderr, "FuzzSetupOpen: the close left a panel of \"%s\"\n", c.c_str());
      std::abort();
    }
    const std::vector<frmHost*> hosts = g_rig->main->Shell().hosts;
    for (frmHost* h : hosts) h->ComponentUnloaded(c);
  }
  QCoreApplication::processEvents();
  // Closed panel windows delete themselves from the event loop, which never runs here: left
  // alone they would pile up, and every later window lookup would walk them all.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  // A setup may name another module folder; the next input starts from the test modules.
  std::string lib;
  g_rig->main->Utils()->get_LibraryPath(&lib);
  if (lib != g_rig->lib) g_rig->main->Utils()->put_LibraryPath(g_rig->lib);
}

}  // namespace

// The font configuration's loader keeps one block it no longer points to, once per process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static int argc = 1;
  static char name[] = "FuzzSetupOpen";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const char* orphans = getenv("FUZZ_SETUP_ORPHANS");
  g_strictOrphans = orphans && std::string(orphans) == "abort";
  g_rig = new Rig;
  if (!g_rig->folder.isValid()) std::abort();
  const QString config = g_rig->folder.filePath("config");
  QDir().mkpath(config);
  setenv("KELVANE_CONFIG_DIR", config.toUtf8().constData(), 1);
  // The module libraries stay mapped for the whole run: the engine unloads a module with its
  // last component, and the fuzzer goes on reading the coverage counters of every library it
  // has seen.
  const QDir modules(KV_TEST_LIB_DIR);
  for (const QString& f : modules.entryList({"*.bin"}, QDir::Files))
    dlopen(modules.filePath(f).toUtf8().constData(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  g_rig->qt = new QApplication(argc, argv);
  KvQtInstallPump();
  CDialogs::Get().SetMode(CDialogs::Mode::scripted);
  frmMainOptions o;
  o.lib = KV_TEST_LIB_DIR;
#ifdef KV_TEST_CTL_DIR
  o.ctl = KV_TEST_CTL_DIR;
#else
  o.ctl = g_rig->folder.filePath("ctl").toStdString();  // none: every panel a placeholder
#endif
  g_rig->main = new frmMain(o);
  if (!g_rig->main->Load()) std::abort();
  KvGlobal()->minSeverity = 7;  // the log would grow by every input's errors
  g_rig->main->App()->get_WrkSpc(g_rig->wrkspc.put());
  g_rig->main->Utils()->get_LibraryPath(&g_rig->lib);
  g_rig->file = g_rig->folder.filePath("input.kvs").toStdString();
  // What the first panels, passes and log lines set up once (fonts, styles, the engine's
  // worker) is made before the fuzzing, so it is not taken for a leak of an input.
  const std::string warmUp =
      "[Kelvane]\r\nload m=Meas\r\nshow(m.igui,0,0)\r\nshow(m.ogui,0,0)\r\nload s=test.src\r\nkvs.run(318207)\r\n";
  openOnce(warmUp.data(), warmUp.size());
  // Never torn down: at exit the thread's message queue is gone before any handler could
  // close the window, and the process's end takes the rest.
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return -1;
  openOnce(reinterpret_cast<const char*>(data), size);
  return 0;
}
