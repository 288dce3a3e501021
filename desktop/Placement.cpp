#include "desktop/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "desktop/Twips.h"

namespace {

const char* const kKeys[4] = {"Left", "Top", "Width", "Height"};

std::string decimal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

bool meetsAScreen(const QRect& r) {
  for (const QScreen* s : QGuiApplication::screens())
    if (s->geometry().intersects(r)) return true;
  return false;
}

}  // namespace

CWindowPlacement::CWindowPlacement(std::string section, std::array<double, 4> defaults, bool onScreen)
    : section_(std::move(section)), defaults_(defaults), onScreen_(onScreen) {}

void CWindowPlacement::Restore(IUtils* utils, QWidget* w) {
  std::array<double, 4> v = defaults_;
  bool usable = utils != nullptr;
  for (int i = 0; i < 4 && usable; ++i) {
    std::string text;
    utils->GetSetting(section_, kKeys[i], decimal(defaults_[static_cast<size_t>(i)]), &text);
    // Only a number through and through; Str2Num would read "12abc" as 12.
    char* end = nullptr;
    const double x = std::strtod(text.c_str(), &end);
    usable = !text.empty() && end && *end == '\0' && std::isfinite(x) && std::fabs(x) < 1e9;
    v[static_cast<size_t>(i)] = x;
    read_[static_cast<size_t>(i)] = text;
  }
  usable = usable && v[2] > 0 && v[3] > 0;
  auto pixels = [](const std::array<double, 4>& t) {
    return QRect(KvTwipsToPixels(t[0]), KvTwipsToPixels(t[1]), std::max(1, KvTwipsToPixels(t[2])),
                 std::max(1, KvTwipsToPixels(t[3])));
  };
  QRect r = pixels(v);
  if (usable && onScreen_ && !QGuiApplication::screens().isEmpty() && !meetsAScreen(r)) usable = false;
  if (!usable) {
    v = defaults_;
    for (size_t i = 0; i < 4; ++i) read_[i] = decimal(v[i]);
    r = pixels(v);
  }
  w->resize(r.size());
  w->move(r.topLeft());
  applied_ = r;
}

void CWindowPlacement::Save(IUtils* utils, const QWidget* w) const {
  if (!utils) return;
  const int now[4] = {w->x(), w->y(), w->width(), w->height()};
  const int was[4] = {applied_.x(), applied_.y(), applied_.width(), applied_.height()};
  for (int i = 0; i < 4; ++i) {
    // Each value the window still has goes back as the text it came from.
    const std::string text =
        now[i] == was[i] ? read_[static_cast<size_t>(i)] : std::to_string(std::lround(KvPixelsToTwips(now[i])));
    utils->SaveSetting(section_, kKeys[i], text);
  }
}
