#include "KvCore/Parser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "KvCore/Message.h"
#include "KvDll/GlobalData.h"

namespace {

// ---------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------

// Every parse error reads: the error text, a blank, and the offending item in double quotes.
bool beginsWithLetter(const CStr& s) {
  return s.GetLength() > 0 && std::isalpha(static_cast<unsigned char>(s.GetBfr()[0]));
}

// A keyword matches when the line begins with it, ignoring case, and a blank or a tab
// follows; rest is the text after that one separator.
bool keyword(const CStr& line, const char* word, CStr& rest) {
  const long n = static_cast<long>(std::strlen(word));
  if (line.GetLength() <= n || !line.Compare(word, n, true)) return false;
  const char sep = line.GetBfr()[n];
  if (sep != ' ' && sep != '\t') return false;
  rest = line.GetBfr() + n + 1;
  return true;
}

char lastChar(const CStr& s) { return s.GetLength() ? s.GetBfr()[s.GetLength() - 1] : '\0'; }

// Number text to an integer of the given width, truncated toward zero. Values beyond the
// 64-bit range and NaN are pinned rather than left to an undefined conversion.
int64_t truncated(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (x <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(x);
}

// Fills a value record from a constant's text by the setting's type. false when the text
// holds no number or the number does not fit the type; the value is then still defined
// (pinned), for callers that pass it on regardless.
bool convertConstant(const CStr& text, int32_t vt, VPARAM& v) {
  v.vt = vt;
  v.value.raw = 0;
  double x = 0;
  const bool number = text.Str2Num(x);
  const double whole = std::trunc(x);
  switch (vt) {
    case vtI2:
      v.value.i2 = static_cast<int16_t>(truncated(x));
      return number && whole >= INT16_MIN && whole <= INT16_MAX;
    case vtI4:
      v.value.i4 = static_cast<int32_t>(truncated(x));
      return number && whole >= INT32_MIN && whole <= INT32_MAX;
    case vtR4: {
      // Beyond the float range the conversion itself would be undefined.
      const double big = std::numeric_limits<float>::max();
      const bool fits = !std::isfinite(x) || std::fabs(x) <= big;
      v.value.r4 = fits ? static_cast<float>(x) : static_cast<float>(std::copysign(HUGE_VAL, x));
      return number && fits;
    }
    case vtR8: v.value.r8 = x; return number;
    case vtStr:
    case vtPStr: v.value.s = text.GetBfr(); return true;
    default: return true;  // a type the parser does not know goes out unset
  }
}

// A component name a line can address: a letter, then letters, digits or "_", and not a
// word the language keeps for itself.
bool addressableName(const CStr& name) {
  const char* p = name.GetBfr();
  if (!std::isalpha(static_cast<unsigned char>(p[0]))) return false;
  for (int32_t i = 1; i < name.GetLength(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(p[i])) && p[i] != '_') return false;
  return !name.Compare("kvs", true) && !name.Compare("sys", true);
}

int32_t countOf(const CStr& text, char c) {
  return static_cast<int32_t>(std::count(text.GetBfr(), text.GetBfr() + text.GetLength(), c));
}

// A text constant with escapes, e"...": the form the state listing gives a text that holds
// line breaks, other control characters or double quotes, which a plain "..." constant cannot
// carry through the lines of a setup file. Inside, \\ is a backslash, \r \n \t the control
// characters and \xHH any byte; no literal double quote, so every quote-aware step of the
// parser sees one quoted stretch. No line of another meaning has this form: a right side that
// begins with a letter is otherwise a port, and no component name holds a double quote.
bool isEscapedText(const CStr& s) {
  const char* p = s.GetBfr();
  return s.GetLength() >= 3 && p[0] == 'e' && p[1] == '"' && p[s.GetLength() - 1] == '"';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// false for an unknown escape, a short \x or a literal quote.
bool decodeEscapedText(const CStr& s, std::string& text) {
  const char* p = s.GetBfr() + 2;
  const char* end = s.GetBfr() + s.GetLength() - 1;
  text.clear();
  while (p < end) {
    const char c = *p++;
    if (c == '"') return false;
    if (c != '\\') {
      text += c;
      continue;
    }
    if (p == end) return false;
    switch (*p++) {
      case '\\': text += '\\'; break;
      case 'r': text += '\r'; break;
      case 'n': text += '\n'; break;
      case 't': text += '\t'; break;
      case 'x': {
        const int hi = p < end ? hexDigit(p[0]) : -1, lo = p + 1 < end ? hexDigit(p[1]) : -1;
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;  // a NUL would cut the text
        text += static_cast<char>(hi * 16 + lo);
        p += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

bool needsEscapes(const CStr& value) {
  for (int32_t i = 0; i < value.GetLength(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value.GetBfr()[i]);
    if (c < 0x20 || c == 0x7F || c == '"') return true;
  }
  return false;
}

void appendEscaped(std::string& out, const CStr& value) {
  static const char hex[] = "0123456789ABCDEF";
  out += "e\"";
  for (int32_t i = 0; i < value.GetLength(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value.GetBfr()[i]);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F || c == '"') {
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

// A double as the state listing writes it: the value query's text where that reads back to
// the same bits, else 17 significant digits, which always do.
CStr exactText(double d) {
  CStr text(d);
  double back = 0;
  if (!std::isfinite(d) || (text.Str2Num(back) && std::memcmp(&back, &d, sizeof d) == 0)) return text;
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.17g", d);
  if (char* e = std::strchr(digits, 'e'); e && e[1] == '+') {
    char* exp = e + 2;
    while (*exp == '0' && exp[1]) ++exp;
    std::memmove(e + 1, exp, std::strlen(exp) + 1);
  }
  return CStr(digits);
}

// Frees an argument list that a module filled from the shared heap.
struct ArgList {
  VPARAMS a;
  ~ArgList() { KV_FREE(a.params); }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------------------

CParser::CParser(IComponents& c, INetlist* n, IParserHost& h) : comps(c), net(n), host(h) {}

// ---------------------------------------------------------------------------------------
// Classification
// ---------------------------------------------------------------------------------------

int CParser::networkLocked(CStr& message) {
  message = "The network cannot be changed while an acquisition runs";
  // Said in the log too: a refusal from a window that shows no answers must not pass unseen.
  KvGlobal()->log.Add(message, LogWarn);
  return -1;
}

int CParser::Execute(CStr& line, CStr& message) {
  owner.Check("CParser::Execute");
  message = "";
  if (line.GetLength() > kMaxLine) {
    // The item is the line's beginning: the whole line would only repeat the excess.
    const CStr start(line.GetBfr(), 40);
    return KvFail(message, "Line too long (more than 16777216 characters)", start + "...");
  }
  line.trim();
  if (line.IsEmpty()) {
    cmds.Append("newline");
    return 0;
  }
  line.CompressSpace();
  if (line.Compare("//", 2, false)) {
    cmds.Append("//", line);
    line = "";
    return 0;
  }
  if (const char* comment = line.FindStr2("//", false)) {
    line.left(static_cast<long>(comment - line.GetBfr()));
    line.rtrim();
  }
  if (line.Compare("sys.state", true)) {
    StateListing(message);
    return 0;
  }

  CStr rest;
  int result;
  if (keyword(line, "load", rest)) {
    result = host.NetworkLocked() ? networkLocked(message) : Load(line, rest, message);
  } else if (keyword(line, "unlink", rest)) {
    result = host.NetworkLocked() ? networkLocked(message) : UnlinkCmd(line, rest, message);
  } else if (keyword(line, "link", rest)) {
    result = host.NetworkLocked() ? networkLocked(message) : LinkCmd(line, rest, message);
  } else if (!line.FindChar2('=')) {
    if (line.FindChar2('(') && lastChar(line) == ')')
      result = Call(line, message);
    else if (keyword(line, "unload", rest))
      result = host.NetworkLocked() ? networkLocked(message) : Unload(line, rest, message);
    else
      result = Query(line, message);
  } else {
    result = Assign(line, message);
  }
  return result < 0 ? -1 : 0;
}

// ---------------------------------------------------------------------------------------
// Name resolution
// ---------------------------------------------------------------------------------------

int CParser::Resolve(const CStr& text, Ref& ref, CStr& message, bool strict) {
  const char* all = text.GetBfr();
  const char* dot = std::strchr(all, '.');
  if (!dot) return KvFail(message, "Invalid variable formation", all);
  ref.name = CStr(all, static_cast<long>(dot - all));
  ref.name.trim();
  ref.par = dot + 1;
  ref.par.trim();
  if (strict && ref.name.IsEmpty()) return KvFail(message, "Missing variable name", all);
  if (strict && ref.par.IsEmpty()) return KvFail(message, "Missing parameter name", all);
  ref.component = comps.Find(ref.name);
  if (ref.component < 0) return KvFail(message, "Variable not found", ref.name);
  return 0;
}

// One side of a link: must be a port of the wanted direction.
int CParser::ResolvePort(const CStr& text, bool wantOut, Ref& ref, CStr& message) {
  if (!beginsWithLetter(text)) return KvFail(message, "Expecting port, found constant", text);
  if (Resolve(text, ref, message, false) < 0) return -1;
  const int32_t kind = comps.Describe(ref.component, ref.par).kind;
  const int32_t want = wantOut ? kindOutPort : kindInPort;
  if (kind == want) return 0;
  switch (kind) {
    case kindNone: return KvFail(message, "Port not found", text);
    case kindInPort: return KvFail(message, "Expecting out-port", text);
    case kindOutPort: return KvFail(message, "Expecting in-port", text);
    case kindSetting: return KvFail(message, "Expecting port, found setting", text);
    default: return KvFail(message, "Expecting port, found unknown type", text);
  }
}

// ---------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------

int CParser::Load(CStr& line, const CStr& rest, CStr& message) {
  if (countOf(rest, '=') > 2) return KvFail(message, "Assignment not complete", rest);
  CObjArr<CStr> parts;
  rest.split(&parts, '=');
  if (parts.count != 2) return KvFail(message, "Assignment not complete", rest);
  CStr& name = *parts.items[0];
  CStr& library = *parts.items[1];
  name.trim();
  library.trim();
  CStr asWritten = library;
  library.RipQuotes();

  if (name.Compare("library", true)) {
    CStr path = library;
    path.Replace("$AppPath", host.AppPath());
    if (!host.LibraryAllowed(path)) return KvFail(message, "Library folder not trusted", path);
    host.SetPathLib(path);
    cmds.Record("load", "library", asWritten);
    return 0;
  }
  if (!addressableName(name)) return KvFail(message, "Invalid component name", name);
  if (comps.Create(name, library, message) < 0) return -1;
  cmds.Record("load", name, library);
  line = "";
  return 0;
}

int CParser::Unload(CStr& line, const CStr& rest, CStr& message) {
  if (!beginsWithLetter(rest)) return KvFail(message, "Expecting mod name, found constant", rest);
  const int index = comps.Find(rest);
  if (index < 0) {
    message = "Variable not found ";
    message += rest;
    return -1;
  }
  if (net) net->RemoveLinks(index);
  comps.Destroy(index);
  line = "";
  return 0;
}

int CParser::LinkCmd(CStr& line, const CStr& rest, CStr& message) {
  if (countOf(rest, '=') > 2) return KvFail(message, "Assignment not complete", rest);
  CObjArr<CStr> parts;
  rest.split(&parts, '=');
  if (parts.count != 2) return KvFail(message, "Assignment not complete", rest);
  CStr& in = *parts.items[0];
  CStr& out = *parts.items[1];
  in.trim();
  out.trim();
  Ref outRef, inRef;
  if (ResolvePort(out, true, outRef, message) < 0) return -1;
  if (ResolvePort(in, false, inRef, message) < 0) return -1;
  if (!net) return KvFail(message, "Port not found", in);
  if (net->Link({inRef.component, inRef.par, in}, {outRef.component, outRef.par, out}, message) < 0)
    return -1;
  line = "";
  return 0;
}

int CParser::UnlinkCmd(CStr& line, const CStr& rest, CStr& message) {
  if (!beginsWithLetter(rest)) return KvFail(message, "Expecting port, found constant", rest);
  Ref ref;
  if (Resolve(rest, ref, message, true) < 0) return -1;
  switch (comps.Describe(ref.component, ref.par).kind) {
    case kindInPort: break;
    case kindNone: return KvFail(message, "Parameter not found", rest);
    case kindOutPort: return KvFail(message, "Expecting in-port", rest);
    case kindSetting: return KvFail(message, "Expecting port, found setting", rest);
    default: return KvFail(message, "Expecting port, found unknown type", rest);
  }
  if (!net) return KvFail(message, "Port not found", rest);
  if (net->Unlink({ref.component, ref.par, rest}, message) < 0) return -1;
  line = "";
  return 0;
}

int CParser::Assign(CStr& line, CStr& message) {
  // Counted first: a line of many '=' must not become as many pieces.
  if (line.CountSplit2('=') > 2) return KvFail(message, "Assignment error, too many '='s in", line);
  CObjArr<CStr> parts;
  line.split2(&parts, '=');
  if (parts.count < 2) return KvFail(message, "Assignment error, missing parameter in", line);
  if (parts.count > 2) return KvFail(message, "Assignment error, too many '='s in", line);
  CStr& left = *parts.items[0];
  CStr& right = *parts.items[1];
  left.trim();
  right.trim();

  std::string unescaped;
  const bool escaped = isEscapedText(right);
  if (escaped && !decodeEscapedText(right, unescaped)) return KvFail(message, "Value not accepted", line);
  const bool rightIsPort = !escaped && beginsWithLetter(right);
  Ref outRef;
  if (rightIsPort) {
    if (Resolve(right, outRef, message, false) < 0) return -1;
    switch (comps.Describe(outRef.component, outRef.par).kind) {
      case kindOutPort: break;
      case kindNone: return KvFail(message, "Parameter not found", right);
      case kindInPort:
        return KvFail(message, "Invalid assignment, expecting output port on right hand side, found input port", right);
      case kindSetting:
        return KvFail(message, "Invalid assignment, expecting output port on right hand side, found setting", right);
      case kindSysVar:
        return KvFail(message, "Invalid assignment, expecting output port on right hand side, found system variable",
                    right);
      default:
        return KvFail(message, "Invalid assignment, expecting output port on right hand side, found unknown type",
                    right);
    }
  }
  if (!beginsWithLetter(left))
    return KvFail(message, "Invalid assignment, expecting variable on left hand side, found constant", left);

  Ref ref;
  if (Resolve(left, ref, message, false) < 0) return -1;
  const VPARAM desc = comps.Describe(ref.component, ref.par);

  if (rightIsPort) {
    switch (desc.kind) {
      case kindInPort: break;
      case kindOutPort:
        return KvFail(message, "Invalid assignment, expecting input port on left hand side, found output port", left);
      case kindSetting:
        return KvFail(message, "Invalid assignment, expecting input port on left hand side, found setting", left);
      case kindSysVar:
        return KvFail(message, "Invalid assignment, expecting input port on left hand side, found system variable",
                    left);
      default:
        return KvFail(message, "Invalid assignment, expecting input port on left hand side, found unknown type", left);
    }
    if (!net) return KvFail(message, "Port not found", left);
    if (host.NetworkLocked()) return networkLocked(message);
    if (net->Link({ref.component, ref.par, left}, {outRef.component, outRef.par, right}, message) < 0) return -1;
    line = "";
    return 0;
  }

  switch (desc.kind) {
    case kindSetting: break;
    case kindNone: return KvFail(message, "Parameter not found", left);
    case kindInPort:
    case kindOutPort: return KvFail(message, "Invalid assignment, expecting setting on left hand side, found port", left);
    case kindSysVar:
      return KvFail(message, "Invalid assignment, expecting setting on left hand side, found system variable", left);
    default:
      return KvFail(message, "Invalid assignment, expecting setting on left hand side, found unknown type", left);
  }
  CStr constant = right;
  if (escaped)
    constant = CStr(unescaped.data(), static_cast<long>(unescaped.size()));
  else
    constant.RipQuotes();
  VPARAM v;
  v.kind = kindSetting;
  // A text that holds no number, or one the setting's type cannot hold, never reaches it.
  if (!convertConstant(constant, desc.vt, v)) return KvFail(message, "Value not accepted", line);
  // A write the component refuses is reported, not recorded: replaying the command list
  // must not repeat a value that never took effect.
  if (comps.Set(ref.component, ref.par, v) != cmdDone) return KvFail(message, "Value not accepted", line);
  host.ValueChanged(comps.Label(ref.component), ref.par);
  cmds.Record("set", left, right);
  line = "";
  return 0;
}

// Formats a setting's value as the query shows it. cmdDone, cmdNotServed (the module does
// not implement the read), or another refusal.
int CParser::ReadValue(int component, const char* name, int32_t vt, CStr& value) {
  if (vt == vtStr) return comps.GetText(component, name, value);
  const VPARAM v = comps.Get(component, name, vt);
  switch (v.vt) {
    case vtI2: value = CStr(static_cast<int>(v.value.i2)); return cmdDone;
    case vtI4: value = CStr(static_cast<long>(v.value.i4)); return cmdDone;
    case vtR4: value = CStr(static_cast<double>(v.value.r4)); return cmdDone;
    case vtR8: value = CStr(v.value.r8); return cmdDone;
    case vtPStr: value = v.value.s; return cmdDone;
    case vtError: return v.value.i4 == cmdDone ? cmdBadValue : v.value.i4;
    default: return cmdBadValue;
  }
}

int CParser::Query(CStr& line, CStr& message) {
  if (!beginsWithLetter(line)) return KvFail(message, "Expecting setting, found constant", line);
  Ref ref;
  if (Resolve(line, ref, message, false) < 0) return -1;
  const VPARAM desc = comps.Describe(ref.component, ref.par);
  switch (desc.kind) {
    case kindSetting: break;
    case kindInPort:
      message = net ? net->InputSource(ref.component, ref.par) : CStr();
      return 0;
    case kindOutPort: return KvFail(message, "Expecting setting, found port", line);
    case kindNone: return KvFail(message, "Setting not found", line);
    default: return KvFail(message, "Expecting setting, found unknown type", line);
  }
  CStr value;
  const int r = ReadValue(ref.component, ref.par, desc.vt, value);
  if (r == cmdNotServed) return KvFail(message, "Setting not implemented", line);
  // A refused read must not pass for a value; numeric settings get the text settings' answer.
  if (r != cmdDone) return KvFail(message, "Unknown error", line);
  message = value;
  return 0;
}

int CParser::Call(CStr& line, CStr& message) {
  if (line.CountSplit2('(') > 2) return KvFail(message, "Invalid function call, too many '('s in", line);
  CObjArr<CStr> parts;
  line.split2(&parts, '(');
  if (parts.count > 2) return KvFail(message, "Invalid function call, too many '('s in", line);
  CStr name = parts.count > 0 ? *parts.items[0] : CStr();
  CStr argText = parts.count > 1 ? *parts.items[1] : CStr();
  name.rtrim();
  if (argText.GetLength() > 0) argText.left(argText.GetLength() - 1);
  argText.trim();

  if (name.Compare("kvs.run", true)) {
    if (truncated(argText.Str2Num()) != 318207) return 0;
    if (host.NetworkLocked()) {
      message = "An acquisition is already running";
      return -1;
    }
    host.RunSinglePass();
    return 0;
  }
  if (name.Compare("kvs.stop", true)) return host.RequestStop(), 0;
  if (name.Compare("kvs.abort", true)) return host.RequestAbort(), 0;
  if (name.Compare("kvs.key", true)) return 0;
  if (name.Compare("show", true)) return host.ValueChanged("show", argText), 0;
  if (name.Compare("showall", true)) return host.ValueChanged("showall", ""), 0;

  if (!beginsWithLetter(name))
    return KvFail(message, "Invalid function call, expecting function name, found constant", name);
  Ref ref;
  if (Resolve(name, ref, message, false) < 0) return -1;
  ArgList args;
  if (comps.FunInfo(ref.component, ref.par, args.a) != cmdDone) return KvFail(message, "Function not found", name);
  const int declared = args.a.params ? args.a.count : 0;

  CObjArr<CStr> given;
  // More commas than parameters is already too many arguments: counted before splitting.
  const bool tooMany = argText.CountSplit2(',') > declared;
  if (!tooMany) argText.split2(&given, ',');
  if (tooMany || given.count > declared) {
    message = "Too many arguments, expecting ";
    message += CStr(declared);
    CStr tail;
    KvFail(tail, " arguments in", line);
    message += tail;
    return -1;
  }

  CObjArr<CStr> texts;  // keeps argument texts alive for the call
  for (int i = 0; i < declared; ++i) {
    VPARAM& p = args.a.params[i];
    CStr* arg = new CStr(i < given.count ? given.items[i]->GetBfr() : "");
    texts.Add(arg);
    arg->trim();
    const CStr number(static_cast<long>(i + 1));
    if (beginsWithLetter(*arg))
      return KvFail(message, "Invalid function call, expecting constant in the argument list", argText);
    if (arg->GetLength() > 0 && arg->GetBfr()[0] == '"') {
      if (p.vt != vtStr && p.vt != vtPStr)
        return KvFail(message, "Type mismatch in argument number " + number + " in the argument list", argText);
      arg->RipQuotes();
      p.value.s = arg->GetBfr();
    } else if (arg->IsEmpty()) {
      if (p.kind != kindOptional)
        return KvFail(message, "Argument number " + number + " missing in argument list", argText);
      p.vt = vtOmitted;
    } else if (p.vt == vtI2 || p.vt == vtI4 || p.vt == vtR4 || p.vt == vtR8 || p.vt == vtPStr) {
      convertConstant(*arg, p.vt, p);
    } else {
      return KvFail(message, "Type mismatch in argument number " + number + " in the argument list", argText);
    }
  }

  CStr textResult;
  if (args.a.result.vt == vtStr) args.a.result.value.str = &textResult;
  comps.Fun(ref.component, ref.par, args.a);
  host.ValueChanged(comps.Label(ref.component), ref.par);

  const VPARAM& r = args.a.result;
  switch (r.vt) {
    case vtEmpty: message = ""; break;
    case vtI4: message = CStr(static_cast<long>(r.value.i4)); break;
    case vtR4: message = CStr(static_cast<double>(r.value.r4)); break;
    case vtR8: message = CStr(r.value.r8); break;
    case vtStr: message = textResult; break;
    case vtPStr: message = r.value.s; break;
    default: {
      const CStr number(static_cast<long>(declared + 1));
      return KvFail(message, "Type mismatch in argument number " + number + " in the argument list", argText);
    }
  }
  cmds.Record("call", name, argText);
  return 0;
}

// ---------------------------------------------------------------------------------------
// State listing
// ---------------------------------------------------------------------------------------

void CParser::StateListing(CStr& message) {
  std::string listing;  // one growing buffer: a large network lists thousands of lines
  for (int c = 0; c < comps.Count(); ++c) {
    CStr names;
    if (comps.GetText(c, "settings", names) != cmdDone) continue;
    CObjArr<CStr> list;
    names.split(&list, ',');
    for (int i = 0; i < list.count; ++i) {
      CStr& setting = *list.items[i];
      setting.trim();
      setting.lcase();
      const VPARAM desc = comps.Describe(c, setting);
      if (desc.kind != kindSetting) continue;
      CStr value;
      if (desc.vt == vtR8 || desc.vt == vtR4) {
        // Every value comes back from a saved setup with the same bits.
        const VPARAM v = comps.Get(c, setting, desc.vt);
        if (v.vt == vtR8)
          value = exactText(v.value.r8);
        else if (v.vt == vtR4)
          value = exactText(static_cast<double>(v.value.r4));
        else
          continue;
      } else if (ReadValue(c, setting, desc.vt, value) != cmdDone) {
        continue;
      }
      listing += comps.Label(c);
      listing += '.';
      listing += setting.GetBfr();
      listing += '=';
      const bool isText = desc.vt == vtStr || desc.vt == vtPStr;
      if (isText && needsEscapes(value)) {
        appendEscaped(listing, value);
      } else {
        if (isText) listing += '"';
        listing.append(value.GetBfr(), static_cast<size_t>(value.GetLength()));
        if (isText) listing += '"';
      }
      listing += "\r\n";
    }
  }
  message = CStr(listing.data(), static_cast<long>(listing.size()));
}
