#pragma once
// CFunOrder: the run order of a pass and the lifetime of its buffers, derived from the ports
// and links of the current network. Producers come before consumers, every used output is
// computed once, and a buffer's data is freed once all its consumers have released it
// (unless the buffer is static). A cycle of links is refused.
//
// Compute and the steps run on the thread of the pass; Release is called by modules from
// that same thread while they handle the pass's messages.

#include <vector>

#include "KvCore/Mod.h"

struct CRunStep {
  int component;
  CStr port;
  CStr name;  // component name
};

class CFunOrder {
 public:
  struct InRec;
  struct OutRec {
    int funidx;
    CStr funname;
    CBfr* bfr;
    CStr obfrname;
    CStr obfrlbl;
    std::vector<CBfr**> inSlots;  // the linked inputs its computation reads
    std::vector<InRec*> inputs;   // the same, resolved
    int nusrs = 0;
    int releases = 0;
    int stamp = 0;
    bool visiting = false;  // on the scheduling path right now (finds cycles)
  };
  struct InRec {
    int ifunidx;
    CBfr** slot;
    CBfr* bfr;
    CStr ibfrlbl, ibfrname, ifunname;
    OutRec* src;
    int dependants = 0;
    bool blast = false;
    int releases = 0;
    int stamp = 0;
  };

  explicit CFunOrder(CGlobalData& g) : g(g) {}
  ~CFunOrder();

  // Rebuilds every table and the steps. False, with the steps empty and error() naming the
  // ports, when the links form a cycle.
  bool Compute(CModList& comps);
  void ResetReleases();
  void Clear();

  const std::vector<CRunStep>& Steps() const { return steps; }
  const CStr& OutTable() const { return outTable; }
  const CStr& InTable() const { return inTable; }
  const CStr& ScheduleText() const { return schedule; }
  const CStr& Error() const { return error; }
  const std::vector<OutRec*>& Outputs() const { return outs; }
  const std::vector<InRec*>& Inputs() const { return ins; }

  // The source label of an input, by its label (ignoring case); empty when none.
  CStr InputSource(const char* label) const;
  void Release(void* slot);

 private:
  CGlobalData& g;
  std::vector<OutRec*> outs;
  std::vector<InRec*> ins;
  std::vector<CRunStep> steps;
  std::vector<InRec*> path;  // input records on the scheduling path, for the cycle message
  CStr outTable, inTable, schedule, error;
  int counter = 0;
  bool cycle = false;

  void writeTables();
  void stampIn(InRec* i);
  void stampOut(OutRec* o);
  void Schedule(InRec* i);
  void Finish(InRec* i);
};
