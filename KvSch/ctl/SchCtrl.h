#pragma once
// CKvSchCtrl: the schematic editor control (KvSch.KvSchCtrl.1). A panel the shell hosts: its
// frame (toolbar and view) edits one drawing, kept in step with the engine handed to Load
// through script lines. The shell saves and restores the drawing as a state text.
//
// The engine references are this control's own: Load sets them, Unload drops them; before
// Load nothing reaches an engine. Destroying the control discards the drawing without any
// engine command.
//
// User-interface thread only.

#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "KvCore/KvApi.h"
#include "KvSch/SchDoc.h"
#include "KvSch/SchEdit.h"
#include "KvSch/ctl/SchPort.h"
#include "desktop/Schematic.h"

class CSchUndo;
class CSchFrame;
class CSchView;

class CKvSchCtrl final : public QWidget, public IKvGui, public IKvSchematic {
  Q_OBJECT

 public:
  explicit CKvSchCtrl(QWidget* parent = nullptr);
  ~CKvSchCtrl() override;

  // IKvUnknown: Qt owns the widget; the count only answers the contract.
  long AddRef() override { return ++refs_; }
  long Release() override { return --refs_; }
  // S_OK for the members the host matches by name (ignoring case).
  HRESULT GetIDOfName(const std::string& name) override;

  // IKvGui. Load answers -1 (references unset) without an App, else 0; host and label are
  // not used.
  HRESULT Load(IApp** app, IKvHost** host, std::string* label) override;
  HRESULT Unload() override;
  HRESULT GetStyle(GuiStyle* out) override;
  HRESULT QueryUnload(int16_t* unloadMode, long* out) override;
  HRESULT get_TabCaption(std::string* out) override;
  HRESULT get_Caption(std::string* out) override;

  // IKvSchematic
  long SaveState(std::string* state) override;
  long LoadState(const std::string& state) override;
  long ClearState() override;
  std::vector<std::string> Components() const override;

  // Properties. Caption, TabCaption and Dummy read empty; setting one only marks the control
  // modified. Setting DocumentName names the document (its title: the file's name when it is
  // an existing file that is not a folder, else "Untitled"); no file is ever read or written.
  void put_Caption(const std::string&) { modified_ = true; }
  void put_TabCaption(const std::string&) { modified_ = true; }
  std::string get_Dummy() const { return {}; }
  void put_Dummy(const std::string&) { modified_ = true; }
  std::string get_DocumentName() const { return docName_; }
  void put_DocumentName(const std::string& name);
  std::string DocumentTitle() const { return docTitle_; }
  bool Modified() const { return modified_; }
  short BorderStyle() const { return borderStyle_; }
  // "About KvSch Control" through the shell's dialog service.
  void AboutBox();

  CSchDoc& Doc() { return doc_; }
  CSchEdit& Edit() { return edit_; }
  CSchAppPort& Port() { return port_; }
  CSchUndo& Undo() { return *undo_; }
  CSchFrame* Frame() const { return frame_; }
  CSchView* View() const;
  IApp* App() const { return app_.get(); }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  CSchDoc doc_;
  CSchAppPort port_;
  CSchEdit edit_;
  std::unique_ptr<CSchUndo> undo_;
  CSchFrame* frame_ = nullptr;
  KvPtr<IApp> app_;
  std::string docName_, docTitle_ = "Untitled";
  bool modified_ = false;
  short borderStyle_ = 1;
  std::atomic<long> refs_{1};

  // The view current, a wire being drawn ended, nothing before this undoable.
  void prepareState();
};
