#include "ModTextIO/TextFile.h"

#include <strings.h>

#include "KvLib/Setting.h"

CTextFile::CTextFile(const KvCreateBlock& block, const char* panelClass) : CLocalData(block) {
  gui.init("gui", "", panelClass);
}

CTextFile::~CTextFile() { StopTrigger(); }

bool CTextFile::SeparatorOf(const std::string& text, char& sep) {
  if (strcasecmp(text.c_str(), "tab") == 0) return sep = '\t', true;
  if (strcasecmp(text.c_str(), "space") == 0) return sep = ' ', true;
  if (text.size() == 1 && (text[0] == ',' || text[0] == ';' || text[0] == '|' || text[0] == '\t' || text[0] == ' '))
    return sep = text[0], true;
  return false;
}

TextLayout CTextFile::Layout() const {
  TextLayout l;
  l.xaxis = xaxis != 0;
  l.byRow = dataorg != 0;
  SeparatorOf(sepCol, l.sep);
  return l;
}

CMDERR CTextFile::CommonSetting(GETPARCMD cmd, const std::string& n, VPARAM& v, bool& changed) {
  using namespace kvsetting;
  const char* name = n.c_str();
  if (gui.isHandle(name) && strcasecmp(name, "gui.names") != 0 && strcasecmp(name, "gui.more") != 0)
    return gui.Settings(cmd, name, v);
  CMDERR r = cmdNotServed;
  if (n == "filename") r = Text(cmd, v, filename, "File name");
  else if (n == "xaxis.on") r = Whole(cmd, v, xaxis, "Both X & Y-Axis", 0, 1);
  else if (n == "dataorg") r = Whole(cmd, v, dataorg, "Each Axis is in a Row", 0, 1);
  else if (n == "sep.col") {
    if (cmd == parWrite) {
      char sep = 0;
      if (!v.value.s || !SeparatorOf(v.value.s, sep)) return cmdBadValue;
    }
    r = Text(cmd, v, sepCol, "Column Separator");
  } else if (n == "hor.offset") r = Real(cmd, v, horOffset, "Horizontal Offset", "s");
  else if (n == "gui.more") r = Whole(cmd, v, gui.more, "More");
  else if (n == "gui.names") r = ReadOnlyText(cmd, v, "gui");
  if (cmd == parWrite && r == cmdDone) changed = true;
  return r;
}

CMDERR CTextFile::CommonFunInfo(const char* name, VPARAMS& a) {
  return gui.isHandle(name) ? gui.FunInfo(name, a) : cmdNotServed;
}

CMDERR CTextFile::CommonFun(const char* name, VPARAMS& a) { return gui.isHandle(name) ? gui.Fun(name, a) : cmdNotServed; }
