#pragma once
// The current document: the setup file the workspace holds. This is where the three
// workspace routines live (load the sections into the running system, write the file, clear
// the set-up), the File menu's commands around them, the main window's caption and the
// recent-files list (Settings\Files, File0 the most recent).
//
// One per process (the workspace calls plain functions); user-interface thread only.

#include <string>
#include <vector>

#include "KvCore/KvApi.h"

class frmMain;

class CDocument {
 public:
  explicit CDocument(frmMain& main);
  ~CDocument();
  CDocument(const CDocument&) = delete;
  CDocument& operator=(const CDocument&) = delete;

  // Hands the workspace the routines; Unbind takes them back (before the engine goes).
  void Bind(IApp* app, IUtils* utils);
  void Unbind();

  // The workspace routines. Load: 0, or -1 when the file does not exist. Save: 0, or -1
  // when the file stays as it was (logged).
  long LoadSetup(const std::string& name);
  long SaveSetup(const std::string& name);
  long ClearSetup();
  // What a save writes now.
  std::string SetupText();
  // The failing lines and sections of the last load (the log has them).
  long LoadErrors() const { return loadErrors; }

  // The File menu.
  void New();
  void Open();
  void Close();
  void Save();
  void SaveAs();
  void OpenRecent(int index);

  // The caption and the recent files for a document of that name ("": the title only).
  void Named(const std::string& name);
  void RefreshRecent();
  std::vector<std::string> Recent() const;

  // Lower-cased text after the file name's last "."; "" without one.
  static std::string Extension(const std::string& name);
  // The file name without its folder (up to the last "/" or "\") and its extension.
  static std::string BaseName(const std::string& name);

 private:
  frmMain& main;
  IApp* app = nullptr;
  IUtils* utils = nullptr;
  KvPtr<IWrkSpc> wrkspc;
  long loadErrors = 0;

  std::string name() const;
  // The user agrees to close what is open (asked only when something is).
  bool confirmClose();
  // No pass is running, after an abort and a short wait if one was; else logged, false.
  bool readyToClose();
};
