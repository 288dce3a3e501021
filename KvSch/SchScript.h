#pragma once
// CSchScript: the document's engine side as script lines, written once. A control (through
// IApp.Execute), a test or a fuzz target (through the engine directly) gives only Send.
//   LoadMod    "load " + M + "=" + F, then M + ".symbol"; "unload " + M when the symbol fails
//   UnloadMod  "unload " + M
//   Link       "link " + in.LinkName() + "=" + out.LinkName()
//   Unlink     "unlink " + pin.LinkName()
//   OpenPanels M + ".gui.names", then per panel G (index i) M + "." + G + ".wnd=\"" + M + "_" + i
//              + "\"" and "show(" + M + "." + G + ")"; the first refusal stops

#include <string>

#include "KvSch/SchDoc.h"

class CSchScript : public ISchEngine {
 public:
  // Runs one line; false when the engine refused it. answer (when given) receives the reply.
  virtual bool Send(const std::string& line, CStr* answer) = 0;

  bool LoadMod(const CSchMod& comp, CStr& symbol) override;
  bool UnloadMod(const CSchMod& comp) override;
  bool Link(const CSchPin& in, const CSchPin& out) override;
  bool Unlink(const CSchPin& pin) override;
  void OpenPanels(const CSchMod& comp) override;
  // Warn("Error: cmd=" + line + ", resp=" + response) of the last refused link line.
  void ReportLinkRefusal() override;

  // What the user is told (a message box titled "Kelvane" in the control).
  virtual void Message(const std::string& text) = 0;
  // A warning for the log (LogWarn in the control).
  virtual void Warn(const std::string& text) = 0;

 private:
  std::string refusedLink_, refusedAnswer_;  // the last link line refused, and why
};
