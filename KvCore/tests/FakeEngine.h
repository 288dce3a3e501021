#pragma once
// A component registry and netlist described by tables, so the parser's classification,
// messages and recording can be checked for every kind and type of parameter.

#include <map>
#include <string>
#include <vector>

#include "KvCore/EngineSide.h"
#include "KvCore/Parser.h"

struct FakeParam {
  int32_t kind = kindSetting;
  int32_t vt = vtR8;
  std::string text;      // value of text settings
  double number = 0;     // value of numeric settings
  CMDERR readResult = cmdDone;
  CMDERR writeResult = cmdDone;
};

struct FakeFunction {
  std::vector<std::pair<int32_t, int32_t>> params;  // {flag word, vt}
  int32_t resultVt = vtEmpty;
  std::string resultText;
  double resultNumber = 0;
};

struct FakeComponent {
  std::string name;
  std::map<std::string, FakeParam> params;
  std::map<std::string, FakeFunction> functions;
  std::string settingsList;  // answer to "settings"; empty = not answered
};

// What a Fun call received.
struct FakeCall {
  std::string component, function;
  std::vector<int32_t> vts;
  std::vector<std::string> texts;    // text arguments
  std::vector<double> numbers;       // numeric arguments
};

class FakeComponents : public IComponents {
 public:
  std::vector<FakeComponent> list;
  std::vector<FakeCall> calls;
  std::vector<std::pair<std::string, VPARAM>> writes;  // setting and raw record written
  std::vector<std::string> writtenTexts;
  std::map<std::string, FakeComponent> libraries;  // what Create can instantiate, by library
  int changes = 0;  // creates, destroys and accepted writes: whether list still is as it was made

  int Count() const override { return static_cast<int>(list.size()); }
  int Find(const char* name) const override {
    for (size_t i = 0; i < list.size(); ++i)
      if (CStr(list[i].name.c_str()).Compare(name, true)) return static_cast<int>(i);
    return -1;
  }
  const char* Label(int i) const override { return list[static_cast<size_t>(i)].name.c_str(); }
  int Create(const char* name, const char* library, CStr& message) override {
    if (Find(name) >= 0) {
      message = CStr("Component already exists \"") + name + "\"";
      return -1;
    }
    auto it = libraries.find(library);
    if (it == libraries.end()) {
      message = CStr("Mod not found \"") + library + "\"";
      return -1;
    }
    FakeComponent c = it->second;
    c.name = name;
    list.push_back(c);
    ++changes;
    return 0;
  }
  void Destroy(int i) override {
    list.erase(list.begin() + i);
    ++changes;
  }

  FakeParam* param(int i, const char* name) {
    auto& p = list[static_cast<size_t>(i)].params;
    auto it = p.find(name);
    return it == p.end() ? nullptr : &it->second;
  }
  VPARAM Describe(int i, const char* name) override {
    VPARAM v;
    if (std::string(name) == "settings") {
      v.kind = kindSetting;
      v.vt = vtStr;
    } else if (FakeParam* p = param(i, name)) {
      v.kind = p->kind;
      v.vt = p->vt;
    }
    return v;
  }
  VPARAM Get(int i, const char* name, int32_t) override {
    VPARAM v;
    FakeParam* p = param(i, name);
    if (!p || p->readResult != cmdDone) {
      v.vt = vtError;
      v.value.i4 = p ? p->readResult : cmdNotServed;
      return v;
    }
    v.kind = p->kind;
    v.vt = p->vt;
    switch (p->vt) {
      case vtI2: v.value.i2 = static_cast<int16_t>(p->number); break;
      case vtI4: v.value.i4 = static_cast<int32_t>(p->number); break;
      case vtR4: v.value.r4 = static_cast<float>(p->number); break;
      case vtR8: v.value.r8 = p->number; break;
      case vtPStr: v.value.s = p->text.c_str(); break;
      default: break;
    }
    return v;
  }
  CMDERR Set(int i, const char* name, VPARAM& v) override {
    FakeParam* p = param(i, name);
    if (!p) return cmdNotServed;
    writes.emplace_back(name, v);
    if (p->writeResult != cmdDone) return p->writeResult;
    ++changes;
    if (v.vt == vtStr || v.vt == vtPStr) {
      p->text = v.value.s;
      writtenTexts.push_back(p->text);
    } else if (v.vt == vtI2) {
      p->number = v.value.i2;
    } else if (v.vt == vtI4) {
      p->number = v.value.i4;
    } else if (v.vt == vtR4) {
      p->number = v.value.r4;
    } else if (v.vt == vtR8) {
      p->number = v.value.r8;
    }
    return cmdDone;
  }
  CMDERR GetText(int i, const char* name, CStr& text) override {
    const FakeComponent& c = list[static_cast<size_t>(i)];
    if (std::string(name) == "settings") {
      if (c.settingsList.empty()) return cmdNotServed;
      text = c.settingsList.c_str();
      return cmdDone;
    }
    FakeParam* p = param(i, name);
    if (!p) return cmdNotServed;
    if (p->readResult != cmdDone) return p->readResult;
    text = p->text.c_str();
    return cmdDone;
  }
  CMDERR FunInfo(int i, const char* name, VPARAMS& a) override {
    auto& f = list[static_cast<size_t>(i)].functions;
    auto it = f.find(name);
    if (it == f.end()) return cmdNotServed;
    KV_FREE(a.params);
    a.count = static_cast<int32_t>(it->second.params.size());
    a.params = static_cast<VPARAM*>(KV_MALLOC(sizeof(VPARAM) * static_cast<size_t>(a.count + 1)));
    for (int k = 0; k < a.count; ++k) {
      a.params[k] = VPARAM();
      a.params[k].kind = it->second.params[static_cast<size_t>(k)].first;
      a.params[k].vt = it->second.params[static_cast<size_t>(k)].second;
    }
    a.result = VPARAM();
    a.result.vt = it->second.resultVt;
    return cmdDone;
  }
  CMDERR Fun(int i, const char* name, VPARAMS& a) override {
    const FakeFunction& f = list[static_cast<size_t>(i)].functions.at(name);
    FakeCall call{list[static_cast<size_t>(i)].name, name, {}, {}, {}};
    for (int k = 0; k < a.count; ++k) {
      const VPARAM& p = a.params[k];
      call.vts.push_back(p.vt);
      if (p.vt == vtStr || p.vt == vtPStr) call.texts.push_back(p.value.s);
      if (p.vt == vtI2) call.numbers.push_back(p.value.i2);
      if (p.vt == vtI4) call.numbers.push_back(p.value.i4);
      if (p.vt == vtR4) call.numbers.push_back(p.value.r4);
      if (p.vt == vtR8) call.numbers.push_back(p.value.r8);
    }
    calls.push_back(call);
    switch (a.result.vt) {
      case vtI4: a.result.value.i4 = static_cast<int32_t>(f.resultNumber); break;
      case vtR4: a.result.value.r4 = static_cast<float>(f.resultNumber); break;
      case vtR8: a.result.value.r8 = f.resultNumber; break;
      case vtStr: *a.result.value.str = f.resultText.c_str(); break;
      case vtPStr: a.result.value.s = f.resultText.c_str(); break;
      default: break;
    }
    return cmdDone;
  }
};

// Links kept as a map from "comp.port" of an input to the text of its source.
class FakeNetlist : public INetlist {
 public:
  CCmdList* cmds = nullptr;
  std::map<std::string, std::string> links;
  std::vector<int> removed;

  int Link(const PortRef& in, const PortRef& out, CStr&) override {
    links[in.text] = out.text;
    cmds->Record("link", in.text, out.text);
    return 0;
  }
  int Unlink(const PortRef& in, CStr&) override {
    links.erase(in.text);
    cmds->Record("link", in.text, "");
    return 0;
  }
  void RemoveLinks(int component) override { removed.push_back(component); }
  CStr InputSource(int, const char* port) override {
    for (auto& [in, out] : links)
      if (in.size() > std::string(port).size() && in.substr(in.find('.') + 1) == port) return CStr(out.c_str());
    return CStr();
  }
};

struct FakeHost : public IParserHost {
  std::vector<std::pair<std::string, std::string>> changes;
  int passes = 0, stops = 0, aborts = 0;
  std::string pathLib;
  void ValueChanged(const char* c, const char* n) override { changes.emplace_back(c, n); }
  void RunSinglePass() override { ++passes; }
  void RequestStop() override { ++stops; }
  void RequestAbort() override { ++aborts; }
  long SetPathLib(const CStr& p) override {
    pathLib = p.GetBfr();
    return 0;
  }
  CStr AppPath() override { return CStr("/opt/kelvane"); }
};

inline FakeParam number(int32_t vt, double value, CMDERR read = cmdDone, CMDERR write = cmdDone) {
  FakeParam p;
  p.vt = vt;
  p.number = value;
  p.readResult = read;
  p.writeResult = write;
  return p;
}

inline FakeParam text(int32_t vt, const char* value, CMDERR read = cmdDone) {
  FakeParam p;
  p.vt = vt;
  p.text = value;
  p.readResult = read;
  return p;
}

inline FakeParam ofKind(int32_t kind, int32_t vt) {
  FakeParam p;
  p.kind = kind;
  p.vt = vt;
  return p;
}

inline FakeFunction function(std::vector<std::pair<int32_t, int32_t>> params, int32_t resultVt,
                             const char* resultText = "", double resultNumber = 0) {
  FakeFunction f;
  f.params = std::move(params);
  f.resultVt = resultVt;
  f.resultText = resultText;
  f.resultNumber = resultNumber;
  return f;
}

// A generator "gen" and a scope "scope" with one parameter of every kind and type.
inline FakeComponent makeGenerator() {
  FakeComponent g;
  g.name = "gen";
  g.params["freq"] = number(vtR8, 1000);
  g.params["level"] = number(vtR4, 0.5);
  g.params["count"] = number(vtI4, 42);
  g.params["bits"] = number(vtI2, 12);
  g.params["type"] = text(vtStr, "sine");
  g.params["path"] = text(vtPStr, "/tmp/x");
  g.params["locked"] = number(vtR8, 1, cmdDone, cmdBadValue);
  g.params["missing"] = number(vtR8, 0, cmdNotServed);
  g.params["broken"] = text(vtStr, "", cmdBadValue);
  g.params["out"] = ofKind(kindOutPort, vtBfr);
  g.params["mod.in"] = ofKind(kindInPort, vtBfr);
  g.params["sys.rate"] = ofKind(kindSysVar, vtR8);
  g.params["odd"] = ofKind(99, vtR8);
  g.functions["reset"] = function({}, vtEmpty);
  g.functions["scale"] = function({{0, vtR8}, {kindOptional, vtI4}}, vtR8, "", 2.5);
  g.functions["name"] = function({{0, vtStr}}, vtStr, "gen-1");
  g.functions["label"] = function({}, vtPStr, "label text");
  g.functions["count"] = function({}, vtI4, "", 7);
  g.functions["bad"] = function({}, vtI2);
  g.settingsList = "freq, Count,type,bits,missing,out";
  return g;
}

inline FakeComponent makeScope() {
  FakeComponent s;
  s.name = "scope";
  s.params["in"] = ofKind(kindInPort, vtBfr);
  s.params["in2"] = ofKind(kindInPort, vtBfr);
  s.params["out"] = ofKind(kindOutPort, vtBfr);
  s.params["title"] = text(vtStr, "Scope \"A\"");
  s.settingsList = "title";
  return s;
}

// A parser over the fakes, with gen and scope loaded.
struct ParserRig {
  FakeComponents comps;
  FakeNetlist net;
  FakeHost host;
  CParser parser{comps, &net, host};

  ParserRig() {
    net.cmds = &parser.CmdList();
    comps.libraries["siggen"] = makeGenerator();
    comps.libraries["scope"] = makeScope();
    comps.list.push_back(makeGenerator());
    comps.list.push_back(makeScope());
  }

  // Runs a line; returns {result, message}.
  std::pair<int, std::string> run(const char* line) {
    CStr l(line), m;
    const int r = parser.Execute(l, m);
    lastLine = l.GetBfr();
    return {r, m.GetBfr()};
  }
  std::string lastLine;  // the processed line after the last run
  std::string cmdList() { return parser.GetCmdList().GetBfr(); }
};
