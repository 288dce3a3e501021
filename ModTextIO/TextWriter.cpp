#include "ModTextIO/TextWriter.h"

#include <cstring>

#include "KvLib/Setting.h"
#include "ModTextIO/TextFormat.h"

CTextWriter::CTextWriter(const KvCreateBlock& block) : CTextFile(block, "KvText.Export") {}

void CTextWriter::ActMsg(const char* msg) {
  if (msg && std::strcmp(msg, "in") == 0) Write();
}

namespace {

template <class T>
void physical(const CBfr& b, std::vector<double>& to) {
  const T* s = static_cast<const T*>(b.data);
  to.resize(static_cast<size_t>(b.count));
  for (size_t i = 0; i < to.size(); ++i) to[i] = static_cast<double>(s[i]) * b.scale + b.offset;
}

}  // namespace

bool CTextWriter::Write() {
  if (!in) {
    logErrAbort("Input port in is not connected");
    return false;
  }
  if (in->count <= 0 || !in->data) {
    logWarn("Input record length is 0.");
    return false;
  }
  TextSamples s;
  s.count = static_cast<size_t>(in->count);
  s.x0 = in->xstart + horOffset;  // the written times continue the record's own
  s.dx = in->interval;
  switch (in->type) {
    case bfrR8:
      if (in->scale == 1.0 && in->offset == 0.0) s.y = static_cast<const double*>(in->data);
      else physical<double>(*in, y);
      break;
    case bfrR4: physical<float>(*in, y); break;
    case bfrI2: physical<int16_t>(*in, y); break;
    case bfrI4: physical<int32_t>(*in, y); break;
    case bfrI1: physical<int8_t>(*in, y); break;
    case bfrU1: physical<uint8_t>(*in, y); break;
    case bfrXY:
    case bfrIntervals: {
      // Values with positions: 75 holds them in seconds, 76 (measurement results) in the
      // samples of the measured record.
      physical<double>(*in, y);
      const double* p = static_cast<const double*>(in->data2);
      if (!p) {
        logErrAbort("Input record has no X positions");
        return false;
      }
      // Measurement results continue the measured record's time.
      const double k = in->type == bfrIntervals ? in->interval : 1.0;
      const double x0 = (in->type == bfrIntervals ? in->xstart : 0.0) + horOffset;
      x.resize(s.count);
      for (size_t i = 0; i < s.count; ++i) x[i] = p[i] * k + x0;
      s.x = x.data();
      break;
    }
    default: logErrAbort("Input type not supported"); return false;
  }
  if (!s.y) s.y = y.data();
  std::string error;
  if (!WriteTextFile(filename, Layout(), s, error)) {
    logErrAbort(error.c_str());
    return false;
  }
  return true;
}

CMDERR CTextWriter::Settings(GETPARCMD cmd, const char* name, VPARAM& v) {
  using namespace kvsetting;
  if (!name) return cmdNotServed;
  const std::string n = name;
  bool changed = false;
  const CMDERR r = CommonSetting(cmd, n, v, changed);
  if (r != cmdNotServed) return r;
  if (n == "settings") return ReadOnlyText(cmd, v, "filename,xaxis.on,dataorg,sep.col,hor.offset");
  if (n == "iports") return ReadOnlyText(cmd, v, "in");
  if (n == "oports") return ReadOnlyText(cmd, v, "");
  if (n == "functions") return ReadOnlyText(cmd, v, "");
  if (n == "version") return ReadOnlyText(cmd, v, "1.0");
  if (n == "symbol")
    return ReadOnlyText(cmd, v, "box,100,0,500,300;text,100,10,500,100,Text Out,center,center;ipin,0,200,100,,1,in;"
                                "text,120,160,300,80,In,left,center;");
  if (n == "in") {
    switch (cmd) {
      case parDescribe: v.kind = kindInPort, v.vt = vtBfr; return cmdDone;
      case parRead: v.value.p = &in; return cmdDone;
      case parWrite: in = static_cast<CBfr*>(v.value.p); return cmdDone;
      case parLabel: SetText(v, "Signal In"); return cmdDone;
      default: return cmdDone;
    }
  }
  return cmdNotServed;
}
