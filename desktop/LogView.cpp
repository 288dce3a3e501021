#include "desktop/LogView.h"

#include <QVBoxLayout>

LogView::LogView(QWidget* parent) : KvGuiWidget(parent), area(new KvQtParent(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(area);
  setMinimumSize(200, 80);
}

HRESULT LogView::Load(IApp** a, IKvHost** h, std::string* label) {
  KvGuiWidget::Load(a, h, label);
  if (!app) return S_OK;
  KvPtr<IUtils> utils;
  app->get_Utils(utils.put());
  if (utils) utils->SetHwndLog(area->wnd());
  return S_OK;
}

HRESULT LogView::get_TabCaption(std::string* out) {
  if (out) *out = "Log";
  return S_OK;
}

HRESULT LogView::get_Caption(std::string* out) {
  if (out) *out = "Log";
  return S_OK;
}

std::string LogView::Text() const {
  const std::vector<KvWnd> rich = area->Children("RichEdit");
  return rich.empty() ? std::string() : area->ChildText(rich.back());
}
