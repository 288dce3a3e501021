#pragma once
// Window sizes and positions in settings are twips (1440 per inch); the screen's logical
// resolution converts them (15 twips per pixel at 96 dpi).

#include <QScreen>
#include <QGuiApplication>
#include <cmath>

inline double KvTwipsPerPixel() {
  const QScreen* s = QGuiApplication::primaryScreen();
  const double dpi = s && s->logicalDotsPerInchX() > 0 ? s->logicalDotsPerInchX() : 96.0;
  return 1440.0 / dpi;
}
inline int KvTwipsToPixels(double twips) { return static_cast<int>(std::lround(twips / KvTwipsPerPixel())); }
inline double KvPixelsToTwips(int pixels) { return pixels * KvTwipsPerPixel(); }
