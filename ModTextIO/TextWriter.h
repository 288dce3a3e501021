#pragma once
// CTextWriter ("textio.writer"): each pass writes the record on its input "in" to a text
// file, in the layout of its settings, with X values from the record's interval (starting at
// "hor.offset") or from the record's own positions. Nothing is written for an empty record,
// so a pass without data never wipes the last file.

#include <vector>

#include "ModTextIO/TextFile.h"

class CTextWriter final : public CTextFile {
 public:
  explicit CTextWriter(const KvCreateBlock& block);

  void ActMsg(const char* msg) override;
  CMDERR Settings(GETPARCMD cmd, const char* name, VPARAM& v) override;
  CMDERR Fun(const char* name, VPARAMS& a) override { return CommonFun(name, a); }
  CMDERR FunInfo(const char* name, VPARAMS& a) override { return CommonFunInfo(name, a); }

  // Writes the input record; false after an error (reported).
  bool Write();

  CBfr* in = nullptr;

 private:
  std::vector<double> y, x;  // the record in physical units, for other sample types
};
