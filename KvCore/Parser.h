#pragma once
// The script parser: classifies one line, performs it against the loaded components,
// records it in the command list and answers with a result code and a message.
// User-interface thread (the thread that executes script lines).

#include "KvCore/CmdList.h"
#include "KvCore/EngineSide.h"
#include "KvCore/EngineThread.h"

class CParser {
 public:
  // net may be null only while comps can never resolve a port (an empty registry).
  CParser(IComponents& comps, INetlist* net, IParserHost& host);

  // Executes one line: 0 on success, -1 on failure. On failure message holds the error
  // text; on success the command's output or nothing. line is processed in place and
  // cleared after a successful load, unload, link, unlink, assignment or comment.
  int Execute(CStr& line, CStr& message);

  CCmdList& CmdList() { return cmds; }
  CStr GetCmdList() const { return cmds.Text(); }

 private:
  IComponents& comps;
  INetlist* net;
  IParserHost& host;
  CCmdList cmds;
  CEngineThread owner;

  struct Ref {
    int component = -1;
    CStr name;  // component part
    CStr par;   // parameter part
  };

  static int networkLocked(CStr& message);
  int Load(CStr& line, const CStr& rest, CStr& message);
  int Unload(CStr& line, const CStr& rest, CStr& message);
  int LinkCmd(CStr& line, const CStr& rest, CStr& message);
  int UnlinkCmd(CStr& line, const CStr& rest, CStr& message);
  int Assign(CStr& line, CStr& message);
  int Query(CStr& line, CStr& message);
  int Call(CStr& line, CStr& message);
  void StateListing(CStr& message);

  int Resolve(const CStr& text, Ref& ref, CStr& message, bool strict);
  int ResolvePort(const CStr& text, bool wantOut, Ref& ref, CStr& message);
  int ReadValue(int component, const char* name, int32_t vt, CStr& value);
};
