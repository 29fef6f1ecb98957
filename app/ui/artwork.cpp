#include "artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "window_chrome.h"

namespace kestrova::ui::artwork {

namespace {

QFont UiFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Noto Sans CJK SC"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QPainterPath Rounded(QRectF rect, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

}  // namespace

QColor AccentBlue() { return QColor(0x2d, 0x6c, 0xdf); }
QColor AccentGreen() { return QColor(0x2e, 0x9d, 0x5b); }
QColor AccentGrey() { return QColor(0x6b, 0x77, 0x86); }
QColor AccentRed() { return QColor(0xc9, 0x2a, 0x27); }

QPixmap WindowBackground(QSize size, const QString& title) {
  QPixmap picture(size);
  picture.fill(ColourFromNumber(kWindowTransparentColour));
  QPainter p(&picture);
  // No smoothing on the outline: blended edge pixels would not match the
  // transparent colour and would show as a fringe.
  // A blue title band of fixed height over a light body.
  const qreal band = 56.0 / size.height();
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, QColor(0x1d, 0x3f, 0x6e));
  fill.setColorAt(band, QColor(0x27, 0x5d, 0x9a));
  fill.setColorAt(band + 0.001, QColor(0xf4, 0xf7, 0xfb));
  fill.setColorAt(1, QColor(0xe3, 0xea, 0xf3));
  p.fillPath(Rounded(QRectF(0, 0, size.width(), size.height()), 10), fill);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(Qt::white);
  p.setFont(UiFont(16, true));
  p.drawText(QRect(18, 10, size.width() - 80, 30), Qt::AlignLeft | Qt::AlignVCenter, title);
  p.setPen(QColor(255, 255, 255, 90));
  p.drawLine(18, 44, size.width() - 18, 44);
  return picture;
}

QPixmap PanelBackground(QSize size) {
  QPixmap picture(size);
  QPainter p(&picture);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, QColor(0xf7, 0xf9, 0xfc));
  fill.setColorAt(1, QColor(0xe6, 0xec, 0xf4));
  p.fillRect(picture.rect(), fill);
  p.setPen(QColor(0xc8, 0xd3, 0xe1));
  p.drawRect(picture.rect().adjusted(0, 0, -1, -1));
  return picture;
}

QPixmap Banner(QSize size, const QString& title, const QString& subtitle) {
  QPixmap picture(size);
  picture.fill(ColourFromNumber(kWindowTransparentColour));
  QPainter p(&picture);
  QLinearGradient fill(0, 0, size.width(), size.height());
  fill.setColorAt(0, QColor(0x16, 0x32, 0x5c));
  fill.setColorAt(1, QColor(0x2b, 0x6c, 0xb0));
  QPainterPath top;
  top.addRoundedRect(QRectF(0, 0, size.width(), size.height() + 12), 10, 10);
  p.fillPath(top, fill);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // a simple mark: a play triangle in a circle
  p.setBrush(QColor(0xf2, 0xb1, 0x34));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(18, 12, 40, 40));
  p.setBrush(Qt::white);
  p.drawPolygon(QPolygonF({QPointF(32, 22), QPointF(32, 42), QPointF(48, 32)}));
  p.setPen(Qt::white);
  p.setFont(UiFont(22, true));
  p.drawText(QRect(70, 10, 500, 30), Qt::AlignLeft | Qt::AlignVCenter, title);
  p.setPen(QColor(0xc9, 0xd8, 0xee));
  p.setFont(UiFont(12, false));
  p.drawText(QRect(72, 38, 500, 18), Qt::AlignLeft | Qt::AlignVCenter, subtitle);
  return picture;
}

QPixmap ButtonPicture(QSize size, const QString& text, const QColor& face) {
  QPixmap picture(size);
  picture.fill(ColourFromNumber(kButtonTransparentColour));
  QPainter p(&picture);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, face.lighter(125));
  fill.setColorAt(1, face);
  p.fillPath(Rounded(QRectF(0, 0, size.width(), size.height()), 5), fill);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(Qt::white);
  p.setFont(UiFont(qMin(14, size.height() - 10), true));
  p.drawText(picture.rect(), Qt::AlignCenter, text);
  return picture;
}

QPixmap CloseBox(QSize size) {
  QPixmap picture(size);
  picture.fill(ColourFromNumber(kButtonTransparentColour));
  QPainter p(&picture);
  p.fillPath(Rounded(QRectF(0, 0, size.width(), size.height()), 4), QColor(0xc9, 0x2a, 0x27));
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2));
  int cx = size.width() / 2, cy = size.height() / 2, r = qMin(size.width(), size.height()) / 4;
  p.drawLine(cx - r, cy - r, cx + r, cy + r);
  p.drawLine(cx - r, cy + r, cx + r, cy - r);
  return picture;
}

QPixmap Swatch(QSize size, const QColor& colour) {
  QPixmap picture(size);
  picture.fill(colour);
  QPainter p(&picture);
  p.setPen(QColor(0x55, 0x55, 0x55));
  p.drawRect(picture.rect().adjusted(0, 0, -1, -1));
  return picture;
}

}  // namespace kestrova::ui::artwork
