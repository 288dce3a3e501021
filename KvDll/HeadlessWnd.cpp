#include "KvDll/HeadlessWnd.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

long headlessProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp);

struct Headless {
  HeadlessWndState s;
  FILE* out = nullptr;
  bool colour = false;
  bool richText = false;
  bool lineOpen = false;  // parent: the console line has text and no line feed yet
  Headless* parent = nullptr;
  KvWnd wnd = 0;
  // Owned here, so a child destroyed by its user (a log window ended for a hold) is still
  // freed, and the console line state survives it.
  std::vector<std::unique_ptr<Headless>> children;
};

// The windows made here on this thread; a subclassed parent has another procedure and the
// user data of a foreign window means nothing to us, so neither can tell.
thread_local std::unordered_map<KvWnd, Headless*> t_ours;

Headless* find(KvWnd wnd) {
  auto i = t_ours.find(wnd);
  return i != t_ours.end() && IsWindow(wnd) ? i->second : nullptr;
}

KvWnd make(Headless* h) {
  h->wnd = CreateWindow(headlessProc, h);
  t_ours[h->wnd] = h;
  return h->wnd;
}

// Terminal escape for a run's weight and colour; black (the default) gets none.
std::string escapeFor(const KvTextRun& r) {
  std::string e;
  if (r.bold) e += "\033[1m";
  const uint32_t red = r.colour & 0xFF, green = (r.colour >> 8) & 0xFF, blue = (r.colour >> 16) & 0xFF;
  if (r.colour != 0) e += "\033[38;2;" + std::to_string(red) + ";" + std::to_string(green) + ";" + std::to_string(blue) + "m";
  return e;
}

void echo(Headless& h, const KvTextRun* runs, int n, bool newLine) {
  Headless& console = h.parent ? *h.parent : h;
  if (!h.out) return;
  std::string line;
  char lastChar = 0;
  if (newLine && console.lineOpen) line += lastChar = '\n';
  for (int i = 0; i < n; ++i) {
    if (!runs[i].text || runs[i].len <= 0) continue;
    const std::string e = h.colour ? escapeFor(runs[i]) : std::string();
    line += e;
    line.append(runs[i].text, static_cast<size_t>(runs[i].len));
    lastChar = runs[i].text[runs[i].len - 1];
    if (!e.empty()) line += "\033[0m";
  }
  if (line.empty()) return;
  std::fwrite(line.data(), 1, line.size(), h.out);
  std::fflush(h.out);
  console.lineOpen = lastChar != '\n';
}

long appendRuns(Headless& h, const KvTextRun* runs, intptr_t lp) {
  const int n = static_cast<int>(lp & KV_TXT_COUNTMASK);
  const bool newLine = (lp & KV_TXT_NEWLINE) && !h.s.text.empty() && !(lp & KV_TXT_ATSTART);
  std::string added = newLine ? "\n" : "";
  for (int i = 0; i < n; ++i)
    if (runs[i].text && runs[i].len > 0) added.append(runs[i].text, static_cast<size_t>(runs[i].len));
  if (lp & KV_TXT_ATSTART) {
    // Text put back after a hold, shown once already; whole lines, so a line break parts it
    // from what arrived meanwhile.
    if (!added.empty() && !h.s.text.empty() && added.back() != '\n') added += '\n';
    h.s.text.insert(0, added);
  } else {
    h.s.text += added;
    echo(h, runs, n, (lp & KV_TXT_NEWLINE) != 0);
  }
  return static_cast<long>(added.size());
}

KvWnd createChild(KvWnd parent, Headless& p, const KvCreateChild& c) {
  auto h = std::make_unique<Headless>();
  h->s.cls = c.cls ? c.cls : "";
  h->s.text = c.text ? c.text : "";
  h->s.style = c.style;
  h->s.visible = (c.style & KV_WS_VISIBLE) != 0;
  h->richText = strcasecmp(h->s.cls.c_str(), "RichEdit") == 0;
  if (h->richText) h->out = p.out, h->colour = p.colour;
  h->parent = &p;
  make(h.get());
  (void)parent;
  p.children.push_back(std::move(h));
  return p.children.back()->wnd;
}

long headlessProc(KvWnd wnd, unsigned msg, intptr_t wp, intptr_t lp) {
  Headless* h = find(wnd);
  if (!h) return 0;
  switch (msg) {
    case KV_WM_CREATECHILD: return wp ? static_cast<long>(createChild(wnd, *h, *reinterpret_cast<const KvCreateChild*>(wp))) : 0;
    case KV_WM_MOVEWINDOW:
      if (!wp) return 0;
      h->s.rect = *reinterpret_cast<const KvRect*>(wp);
      return 1;
    case KV_WM_GETCLIENTRECT:
      if (!wp) return 0;
      *reinterpret_cast<KvRect*>(wp) = KvRect{0, 0, h->s.rect.width, h->s.rect.height};
      return 1;
    case KV_WM_GETWINDOWRECT:
      if (!wp) return 0;
      *reinterpret_cast<KvRect*>(wp) = h->s.rect;
      return 1;
    case KV_WM_SHOWWINDOW: h->s.visible = wp != 0; return 1;
    case KV_WM_SETTEXT: h->s.text = lp ? reinterpret_cast<const char*>(lp) : ""; return 1;
    case KV_WM_GETTEXTLENGTH: return static_cast<long>(h->s.text.size());
    case KV_WM_GETTEXT: {
      if (wp <= 0 || !lp) return 0;
      const size_t n = std::min(h->s.text.size(), static_cast<size_t>(wp) - 1);
      std::memcpy(reinterpret_cast<char*>(lp), h->s.text.data(), n);
      reinterpret_cast<char*>(lp)[n] = 0;
      return static_cast<long>(n);
    }
    case KV_WM_SETFONT:
      if (wp) {
        const auto* f = reinterpret_cast<const KvFont*>(wp);
        h->s.fontFace = f->face ? f->face : "";
        h->s.fontSize = f->size;
      }
      return 1;
    case KV_WM_PAINT: ++h->s.paints; return 1;
    case KV_PBM_SETRANGE: h->s.rangeLow = static_cast<int32_t>(wp), h->s.rangeHigh = static_cast<int32_t>(lp); return 1;
    case KV_PBM_SETPOS: {
      const long old = h->s.pos;
      h->s.pos = static_cast<int32_t>(wp);
      return old;
    }
    case KV_PBM_SETSTEP: h->s.step = static_cast<int32_t>(wp); return 1;
    case KV_TXT_APPEND: return h->richText && wp ? appendRuns(*h, reinterpret_cast<const KvTextRun*>(wp), lp) : 0;
    case KV_TXT_CLEAR: h->s.text.clear(); return 1;
    default: return 0;
  }
}

void destroy(Headless* h) {
  for (auto& c : h->children) destroy(c.get());
  if (h->out && h->lineOpen) std::fputc('\n', h->out), std::fflush(h->out);
  t_ours.erase(h->wnd);
  DestroyWindow(h->wnd);
}

}  // namespace

KvWnd KvCreateHeadlessParent(int32_t width, int32_t height, FILE* out, bool colour) {
  auto* h = new Headless;
  h->s.cls = "parent";
  h->s.rect = KvRect{0, 0, width, height};
  h->s.visible = true;
  h->out = out;
  h->colour = colour;
  return make(h);
}

void KvDestroyHeadlessParent(KvWnd parent) {
  Headless* h = find(parent);
  if (!h || h->parent) return;
  destroy(h);
  delete h;
}

void KvHeadlessEndLine(KvWnd parent) {
  Headless* h = find(parent);
  if (!h || !h->out || !h->lineOpen) return;
  std::fputc('\n', h->out);
  std::fflush(h->out);
  h->lineOpen = false;
}

void KvHeadlessResize(KvWnd wnd, int32_t width, int32_t height) {
  Headless* h = find(wnd);
  if (!h) return;
  h->s.rect.width = width;
  h->s.rect.height = height;
  SendMessage(wnd, KV_WM_SIZE, 0, static_cast<intptr_t>((width & 0xFFFF) | ((height & 0xFFFF) << 16)));
}

bool KvHeadlessState(KvWnd wnd, HeadlessWndState& out) {
  Headless* h = find(wnd);
  if (!h) return false;
  out = h->s;
  return true;
}

int KvHeadlessChildren(KvWnd parent, const char* cls, KvWnd* out, int max) {
  Headless* h = find(parent);
  if (!h) return 0;
  int n = 0;
  for (auto& c : h->children) {
    if (!IsWindow(c->wnd) || (cls && *cls && strcasecmp(c->s.cls.c_str(), cls) != 0)) continue;
    if (n < max) out[n] = c->wnd;
    ++n;
  }
  return n;
}
