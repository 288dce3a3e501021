#include "KvSch/ctl/SchUndo.h"

#include <QUndoCommand>
#include <QUndoStack>
#include <strings.h>

#include <string>
#include <vector>

#include "KvSch/SchDoc.h"
#include "KvSch/ctl/SchPort.h"

namespace {

// The engine side while a drawing is rebuilt from its text: the network is already what the
// text describes, so components are adopted (only their symbols are asked) and nothing that
// would change the network is sent.
class CAdoptingEngine final : public ISchEngine {
 public:
  explicit CAdoptingEngine(CSchAppPort& port) : port_(port) {}
  bool LoadMod(const CSchMod& comp, CStr& symbol) override {
    const std::string name = comp.CompName().GetBfr();
    // A component of that name loaded from another library (in the console, while a refused
    // undo could not load it back) is not the drawing's: deleting it must not unload it.
    const std::string lib = port_.LoadedAs(name);
    if (!lib.empty() && strcasecmp(lib.c_str(), comp.FuncName().GetBfr()) != 0) return false;
    std::string text;
    // One the engine lacks (its library was missing) stays without items, as before.
    if (!port_.Query(name + ".symbol", &text)) return false;
    symbol = CStr(text.data(), static_cast<long>(text.size()));
    return true;
  }
  bool UnloadMod(const CSchMod&) override { return true; }
  bool Link(const CSchPin&, const CSchPin&) override { return true; }
  bool Unlink(const CSchPin&) override { return true; }
  bool Exists(const CStr& compName) override { return port_.Exists(compName); }
  bool MayChange() override { return true; }
  void OpenPanels(const CSchMod&) override {}
  void ReportLinkRefusal() override {}

 private:
  CSchAppPort& port_;
};

}  // namespace

struct CSchUndo::Pending {
  CStr before;
  std::vector<CSchAppPort::Step> journal;
};

// One user action: the drawing's text on both sides and the engine lines between them.
class CSchUndo::Command final : public QUndoCommand {
 public:
  Command(CSchUndo& owner, const QString& text, CStr before, CStr after, std::vector<CSchAppPort::Step> steps)
      : QUndoCommand(text), owner_(owner), before_(std::move(before)), after_(std::move(after)), steps_(std::move(steps)) {}

  bool ChangesNetwork() const { return !steps_.empty(); }
  std::vector<CSchAppPort::Step>& Steps() { return steps_; }
  const CStr& Text(bool after) const { return after ? after_ : before_; }
  void undo() override { owner_.ok_ = owner_.Apply(*this, false); }
  void redo() override {
    // Pushing the action done already must not do it a second time.
    if (pushed_) owner_.ok_ = owner_.Apply(*this, true);
    pushed_ = true;
  }

 private:
  CSchUndo& owner_;
  CStr before_, after_;
  std::vector<CSchAppPort::Step> steps_;
  bool pushed_ = false;
};

CSchUndo::CSchUndo(CSchDoc& doc, CSchAppPort& port)
    : doc_(doc), port_(port), stack_(std::make_unique<QUndoStack>()), pending_(std::make_unique<Pending>()) {
  // Each step keeps two whole drawings: a bound keeps a long session's memory in reason.
  stack_->setUndoLimit(kLimit);
}

CSchUndo::~CSchUndo() {
  if (open_) port_.Record(nullptr);
}

void CSchUndo::Begin() {
  if (open_) return;
  pending_->before = doc_.SaveState();
  pending_->journal.clear();
  port_.Record(&pending_->journal);
  open_ = true;
}

void CSchUndo::End(const QString& text) {
  if (!open_) return;
  port_.Record(nullptr);
  open_ = false;
  CStr after = doc_.SaveState();
  if (pending_->journal.empty() && after == pending_->before) return;
  stack_->push(new Command(*this, text, std::move(pending_->before), std::move(after), std::move(pending_->journal)));
  pending_->journal.clear();
}

bool CSchUndo::Undo() {
  if (open_ || !stack_->canUndo()) return false;
  const auto* cmd = static_cast<const Command*>(stack_->command(stack_->index() - 1));
  // Only what sends engine lines waits for the acquisition; a move undoes at any time.
  if (cmd && cmd->ChangesNetwork() && !port_.MayChange()) return false;
  ok_ = true;
  stack_->undo();
  return Settle();
}

bool CSchUndo::Redo() {
  if (open_ || !stack_->canRedo()) return false;
  const auto* cmd = static_cast<const Command*>(stack_->command(stack_->index()));
  if (cmd && cmd->ChangesNetwork() && !port_.MayChange()) return false;
  ok_ = true;
  stack_->redo();
  return Settle();
}

bool CSchUndo::Settle() {
  if (ok_) return true;
  // The journal no longer describes the network (a redo would, say, unload a component the
  // console loaded under a name an undo could not take back): nothing more is replayed.
  stack_->clear();
  return false;
}

void CSchUndo::Clear() {
  if (open_) port_.Record(nullptr);
  open_ = false;
  pending_->journal.clear();
  stack_->clear();
}

bool CSchUndo::Apply(Command& c, bool forward) {
  std::vector<CSchAppPort::Step>& steps = c.Steps();
  // Nothing may keep pointers into the objects the rebuild replaces.
  doc_.EndWire();
  bool ok = true;
  if (forward) {
    for (const CSchAppPort::Step& s : steps)
      if (!(ok = port_.Replay({s.forward}) && port_.Replay(s.settings))) break;
  } else {
    for (auto s = steps.rbegin(); s != steps.rend(); ++s) {
      // Undoing a load: what the component holds now comes back on redo.
      if (s->forward.rfind("load ", 0) == 0 && s->inverse.size() == 1)
        s->settings = port_.SettingsOf(s->inverse[0].substr(7));
      if (!(ok = port_.Replay(s->inverse))) break;
    }
  }
  // A refusal leaves the network part way: the drawing adopts what the engine holds.
  ISchEngine* engine = doc_.Engine();
  CAdoptingEngine adopt(port_);
  doc_.SetEngine(&adopt);
  doc_.LoadState(c.Text(forward));
  doc_.SetEngine(engine);
  return ok;
}
