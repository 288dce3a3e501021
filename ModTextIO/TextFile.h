#pragma once
// CTextFile: what the text-file reader and writer share: the file name, the layout settings
// ("xaxis.on", "dataorg", "sep.col") and the panel keys; each side adds its own.

#include <cstdint>
#include <string>

#include "KvDll/Gui.h"
#include "KvLib/LocalData.h"
#include "ModTextIO/TextParser.h"

class CTextFile : public CLocalData {
 public:
  CTextFile(const KvCreateBlock& block, const char* panelClass);
  ~CTextFile() override;

  std::string filename;
  int32_t xaxis = 0;
  int32_t dataorg = 0;  // 0: each axis in a column, 1: each axis in a row
  std::string sepCol = ",";
  double horOffset = 0;
  CGui gui;

  // The separator character of "sep.col": one of , ; | TAB or blank, or the words Tab, Space.
  static bool SeparatorOf(const std::string& text, char& sep);
  TextLayout Layout() const;

 protected:
  // The shared settings; cmdNotServed for any other name. `changed` is set by a write.
  CMDERR CommonSetting(GETPARCMD cmd, const std::string& name, VPARAM& v, bool& changed);
  CMDERR CommonFunInfo(const char* name, VPARAMS& a);
  CMDERR CommonFun(const char* name, VPARAMS& a);
};
