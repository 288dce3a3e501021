#include "KvPlugins/ToolWnd.h"

#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <vector>

#include "desktop/Twips.h"

namespace {

constexpr int kLocCaption = 1;
constexpr int kLocLoad = 2;
constexpr int kLocUnload = 3;
constexpr int kLocResize = 4;
constexpr float kMinWidth = 3000, kMinHeight = 1800;

struct Plugin {
  const char* progId;
  KvControlFactory make;
};
std::vector<Plugin>& plugins() {
  static std::vector<Plugin> list;
  return list;
}

}  // namespace

bool KvAddPlugin(const char* progId, KvControlFactory make) {
  plugins().push_back({progId, make});
  return true;
}

extern "C" __attribute__((visibility("default"))) void KvRegisterControls(CCtlRegistry* registry) {
  for (const Plugin& p : plugins()) registry->Add(p.progId, p.make);
}

CToolWnd::CToolWnd(QWidget* parent, const Traits& traits) : QWidget(parent), traits_(traits) {}

CToolWnd::~CToolWnd() = default;

HRESULT CToolWnd::Load(IApp** a, IKvHost** h, std::string* l) {
  guarded(kLocLoad, [&] {
    app = a ? KvPtr<IApp>(*a) : KvPtr<IApp>();
    host = h ? *h : nullptr;
    label = l ? *l : std::string();
    utils.reset();
    if (app) app->get_Utils(utils.put());
    caption = initialCaption();
    setWindowTitle(QString::fromStdString(caption));
    if (host) {
      std::string tab = traits_.tabAtLoad;
      host->TabCaption(&tab);
      std::string c = caption;
      host->Caption(&c);
    }
    beforeSize();
    resize(KvTwipsToPixels(traits_.width), KvTwipsToPixels(traits_.height));
    if (host) host->Size(traits_.width, traits_.height);
    started();
  });
  return S_OK;
}

HRESULT CToolWnd::Unload() {
  guarded(kLocUnload, [&] { ended(); });
  utils.reset();
  app.reset();
  host = nullptr;
  return S_OK;
}

HRESULT CToolWnd::GetStyle(GuiStyle* out) {
  if (!out) return E_POINTER;
  *out = GuiStyle{1, 1, 0, 0, 0, 1};
  return S_OK;
}

HRESULT CToolWnd::QueryUnload(int16_t* unloadMode, long* out) {
  if (out) *out = 0;
  if (traits_.section && utils && unloadMode) utils->SaveSetting(traits_.section, "Load", std::to_string(*unloadMode));
  return S_OK;
}

HRESULT CToolWnd::get_TabCaption(std::string* out) {
  if (!out) return E_POINTER;
  *out = traits_.tabCaption;
  return S_OK;
}

HRESULT CToolWnd::get_Caption(std::string* out) {
  if (!out) return E_POINTER;
  guarded(kLocCaption, [&] { *out = caption; });
  return S_OK;
}

void CToolWnd::SetCaption(const std::string& text) {
  caption = text;
  setWindowTitle(QString::fromStdString(caption));
  if (host) {
    std::string c = caption;
    host->Caption(&c);
  }
}

void CToolWnd::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  guarded(kLocResize, [&] {
    // The size the host gives back while the minimum is being reported is laid out as any.
    if (traits_.minimum && host && !raising) {
      // Raised in one step, both sides at once, so the host's resize cannot come back here
      // with the other side still short.
      const float w = static_cast<float>(KvPixelsToTwips(e->size().width()));
      const float h = static_cast<float>(KvPixelsToTwips(e->size().height()));
      if (std::lround(w) < kMinWidth || std::lround(h) < kMinHeight) {
        raising = true;
        host->Size(std::max(w, kMinWidth), std::max(h, kMinHeight));
        raising = false;
        return;
      }
    }
    layOut();
  });
}

void CToolWnd::report(int handler, const std::string& what) {
  if (utils) utils->ErrMsg(code(handler), 0, 0, what, caption);
}
