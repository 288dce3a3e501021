#pragma once
// CPanel: what every module panel shares. A panel edits the settings of one component (its
// label) through the engine's App, and is told of changes through App's events.
//
//   Load(App, Host, label)  keeps App (advised), Utils, Host and the label; caption from
//                           "<prefix>.title" (else label + ": " + title suffix); the tab
//                           caption when the panel has one; moves the window by
//                           "<prefix>.left"/".top" (pixels, to twips) when both are >= 0;
//                           then Fill() and the first lay-out; loading is true throughout.
//   ValueChanged            for this label (ignoring case) re-reads the one key: OnValue().
//                           "loaded", "unloaded" and events raised inside the panel's own
//                           Execute are ignored.
//   Unload                  drops Utils, the event connection (and App), Host.
//
// Fields are bound to keys (BindNumber, BindCheck, BindList, BindText, BindMore) and are then
// written when the user acts on them and refreshed from the engine without writing back (Qt's
// change signals fire on programmatic changes; the bound ones use the user-only signals).
// After every write the field shows the engine's value again, so a refused write is undone.
// A panel's own controls follow the same rule: write from clicked/activated/editingFinished,
// never from toggled/currentIndexChanged/textChanged.
//
// Captions: buttons, check boxes and frames show "&&" as "&" themselves; labels, list entries
// and tool tips take text literally, so give them Literal(text).
//
// Every handler runs under one trap: Guarded(number, fn). A thrown PanelError (a failing
// HRESULT from the accessors below, with the line of the call), or any exception, ends the
// handler with Utils.ErrMsg(number, code, line, description, label); the panel stays usable.
//
// User-interface thread only. Qt owns the widget; the reference count never deletes.

#include <QWidget>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class TextUpdown;

// A failure inside a handler: the error code (an HRESULT), the source line, what failed.
struct PanelError {
  long code;
  long line;
  std::string desc;
};

// The line a call was made from, for a panel's fault report (clang 14 with this standard
// library has no std::source_location).
struct KvWhere {
  unsigned long where = 0;
  static constexpr KvWhere current(unsigned long line = __builtin_LINE()) { return KvWhere{line}; }
  constexpr unsigned long line() const { return where; }
};

class CPanel : public QWidget, public IKvGui, public IAppEvents {
 public:
  // The error numbers of the contract's handlers.
  struct Handlers {
    long caption, load, valueChanged, tabCaption, unload;
  };
  struct Traits {
    const char* prefix;       // settings prefix of the window: "gui", "igui", "ogui"
    const char* titleSuffix;  // the default title is label + ": " + this
    const char* tabSuffix;    // Load sends Host.TabCaption(label + this); null: nothing sent
    bool resizeable;
    Handlers handlers;
  };

  CPanel(QWidget* parent, const Traits& traits);
  ~CPanel() override;

  // IKvGui
  long AddRef() override { return ++refs; }
  long Release() override { return --refs; }
  HRESULT GetIDOfName(const std::string&) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Load(IApp** app, IKvHost** host, std::string* label) final;
  HRESULT Unload() final;
  HRESULT GetStyle(GuiStyle* out) override;
  HRESULT QueryUnload(int16_t* unloadMode, long* out) override;
  HRESULT get_TabCaption(std::string* out) override;
  HRESULT get_Caption(std::string* out) override;

  // IAppEvents
  void ValueChanged(const std::string& compName, const std::string& varName) final;
  void BeforeAcq(long) override {}
  void AfterAcq(long) override {}
  void ShowGui(const std::string&, long&) override {}
  void AcqAborted(long) override {}
  void AcqIdle() override {}

  const std::string& Label() const { return label; }
  bool Loading() const { return loading; }

  // How a number field steps (codes 0 and 1 of TextUpdown).
  struct Step {
    enum Kind { scale125, offset, fixed, custom } kind = scale125;
    double size = 0;                              // fixed: the amount, added with safeadd
    std::function<double(double, bool up)> rule;  // custom
  };
  static Step Scale125() { return {}; }
  // Utils.Step(v, +-0.001, 1e-12), for horizontal offsets and sample intervals.
  static Step Offset() { return {Step::offset, 0, {}}; }
  static Step Fixed(double amount) { return {Step::fixed, amount, {}}; }
  static Step Custom(std::function<double(double, bool)> rule) { return {Step::custom, 0, std::move(rule)}; }

  // One bound control. The key may be changed later (a field that follows a selection).
  struct Binding {
    enum Kind { number, check, list, text, more } kind;
    QWidget* widget;
    std::string key;
    long handler;
    Step step;
    bool whole = false;              // App.lng, rounded; else App.dbl
    std::optional<int32_t> atLeast;  // whole numbers below it are not written
    std::optional<double> empty;     // the value an empty field stands for (and is shown as)
  };

 protected:
  // Step 4 of Load: the panel's lists and fields. By default every binding is refreshed.
  virtual void Fill() { RefreshAll(); }
  // A change of one key of this component (lower case). By default the bindings of the key.
  virtual void OnValue(const std::string& key) { Refresh(key); }
  // Where a fault goes when there are no Utils yet (a text panel shows a critical message
  // box titled with the label, with FaultText as its text); by default Qt's warning log.
  virtual void ReportWithoutUtils(long number, const PanelError& e);
  // number:code:line:description
  static std::string FaultText(long number, const PanelError& e);

  template <class Fn>
  bool Guarded(long number, Fn&& fn) {
    try {
      fn();
      return true;
    } catch (const PanelError& e) {
      report(number, e);
    } catch (const std::exception& e) {
      report(number, {0, 0, e.what()});
    } catch (...) {
      report(number, {0, 0, "unknown error"});
    }
    return false;
  }

  // The engine's settings of this label; a failing HRESULT throws PanelError with the caller's line.
  using Where = KvWhere;
  std::string Str(const std::string& key, Where at = Where::current());
  double Dbl(const std::string& key, Where at = Where::current());
  int32_t Lng(const std::string& key, Where at = Where::current());
  float Flt(const std::string& key, Where at = Where::current());
  std::string Unit(const std::string& key, Where at = Where::current());
  void PutStr(const std::string& key, const std::string& v, Where at = Where::current());
  void PutDbl(const std::string& key, double v, Where at = Where::current());
  void PutLng(const std::string& key, int32_t v, Where at = Where::current());
  // Utils.Num2Str(v, 6) and Utils.Str2Num.
  std::string Num(double v, Where at = Where::current());
  double Parse(const std::string& text, Where at = Where::current());
  IUtils* Utils() const { return utils.get(); }
  IApp* App() const { return app.get(); }
  IKvHost* Host() const { return host; }
  // App.Execute(label + command); the message, or nullopt when the command failed. Events
  // raised while it runs are the panel's own and are ignored.
  std::optional<std::string> Execute(const std::string& command, Where at = Where::current());
  // A list command ("wfm.types()"): its comma-separated message, or an empty list when it failed.
  std::vector<std::string> List(const std::string& command, Where at = Where::current());

  Binding& BindNumber(TextUpdown* field, const std::string& key, Step step, long handler, bool whole = false);
  // Writes 1 or 0 when clicked.
  Binding& BindCheck(QCheckBox* box, const std::string& key, long handler);
  // Writes the chosen text when it differs from the engine's (ignoring case). A value the
  // list does not hold is shown as it is, never replaced by an entry.
  Binding& BindList(QComboBox* list, const std::string& key, long handler);
  // Writes the text when the user ends editing (Enter or leaving the field) and it differs
  // from the engine's; never per keystroke.
  Binding& BindText(QLineEdit* field, const std::string& key, long handler);
  // The "More" box of "<prefix>.more": a click lays out, resizes and writes (MoreClicked); a
  // refresh sets the box and lays out.
  Binding& BindMore(QCheckBox* more, long handler);
  Binding* FindBinding(QWidget* w);
  // Shows the engine's value of each binding of key (ignoring case); false when none.
  bool Refresh(const std::string& key);
  void RefreshAll();
  void Show(Binding& b);
  // A list's text as shown (also a value it does not hold).
  static QString ListText(const QComboBox* list);
  static void SetListText(QComboBox* list, const QString& text);
  // The texts of a fixed caption, with "&&" shown as one "&" by widgets that take it literally.
  static QString Literal(const char* text);
  // Keys and list words as the panels compare them (ASCII lower case).
  static std::string Lowered(std::string s);

  // "More": the panel is sized to hold its last visible child, the host is told (twips),
  // and "<prefix>.more" is written with the box's state.
  void MoreClicked(QCheckBox* more);
  void FitToContents();
  // Lays the children out for the current visibility (after More, visibility changes).
  virtual void LayOut() {}

  void keyPressEvent(QKeyEvent* e) override;

  std::string title;

 private:
  void report(long number, const PanelError& e);
  void numberChanged(Binding& b, int action);
  void listChosen(Binding& b);

  Traits traits;
  KvPtr<IApp> app;
  KvPtr<IUtils> utils;
  IKvHost* host = nullptr;
  long cookie = 0;
  std::string label;
  bool loading = false;
  int executing = 0;
  std::vector<Binding*> bindings;
  // The engine's connection goes through a relay that outlives the panel by one turn of the
  // event loop: the engine calls every sink it had when an event began, and the shell may
  // delete a panel in the middle of that (a component's "unloaded").
  class Relay;
  Relay* relay = nullptr;
  std::atomic<long> refs{1};
};
