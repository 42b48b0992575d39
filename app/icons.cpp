#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace app {
namespace {

const QColor kOutline(40, 40, 40);

void drawOpen(QPainter& p) {
  p.setPen(kOutline);
  p.setBrush(QColor(230, 190, 60));
  p.drawRect(1, 4, 13, 10);
  p.drawRect(1, 2, 5, 2);
  p.setBrush(QColor(250, 220, 110));
  const QPointF flap[] = {{3, 8}, {15, 8}, {13, 14}, {1, 14}};
  p.drawPolygon(flap, 4);
}

void drawInfo(QPainter& p) {
  p.setPen(QColor(20, 60, 140));
  p.setBrush(QColor(50, 110, 210));
  p.drawEllipse(1, 1, 13, 13);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(7, 3, 2, 2);
  p.drawRect(7, 6, 2, 6);
  p.drawRect(6, 11, 4, 1);
}

void drawEdit(QPainter& p) {
  p.setPen(kOutline);
  p.setBrush(QColor(240, 200, 70));
  const QPointF body[] = {{11, 1}, {14, 4}, {5, 13}, {2, 10}};
  p.drawPolygon(body, 4);
  p.setBrush(QColor(240, 210, 170));
  const QPointF tip[] = {{2, 10}, {5, 13}, {1, 14}};
  p.drawPolygon(tip, 3);
  p.setBrush(QColor(220, 90, 90));
  const QPointF cap[] = {{11, 1}, {14, 4}, {12, 6}, {9, 3}};
  p.drawPolygon(cap, 4);
}

void drawPage(QPainter& p, int x, int y, int w, int h) {
  p.setPen(kOutline);
  p.setBrush(Qt::white);
  p.drawRect(x, y, w, h);
  p.setPen(QColor(120, 120, 160));
  for (int line = y + 3; line < y + h - 1; line += 2) p.drawLine(x + 2, line, x + w - 2, line);
}

void drawMemo(QPainter& p) {
  p.setPen(kOutline);
  p.setBrush(QColor(255, 250, 200));
  const QPointF sheet[] = {{2, 1}, {10, 1}, {13, 4}, {13, 14}, {2, 14}};
  p.drawPolygon(sheet, 5);
  p.drawLine(10, 1, 10, 4);
  p.drawLine(10, 4, 13, 4);
  p.setPen(QColor(120, 100, 40));
  for (int line = 6; line <= 12; line += 2) p.drawLine(4, line, 11, line);
}

void drawCopy(QPainter& p) {
  drawPage(p, 1, 1, 9, 10);
  drawPage(p, 5, 4, 9, 10);
}

void drawRecordCount(QPainter& p) {
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 4; ++row) {
    const int y = 2 + row * 3;
    p.setBrush(QColor(50, 110, 210));
    p.drawRect(1, y, 2, 2);
    p.setBrush(QColor(90, 90, 90));
    p.drawRect(5, y, 9, 2);
  }
  p.setPen(QColor(200, 40, 40));
  p.drawLine(1, 14, 14, 14);
}

void drawBlockSize(QPainter& p) {
  p.setPen(kOutline);
  const QColor fill[] = {QColor(90, 180, 90), QColor(90, 180, 90), QColor(90, 180, 90),
                         QColor(220, 220, 220)};
  for (int i = 0; i < 4; ++i) {
    p.setBrush(fill[i]);
    p.drawRect(1 + (i % 2) * 7, 1 + (i / 2) * 7, 6, 6);
  }
}

void drawRefresh(QPainter& p) {
  QPen pen(QColor(30, 130, 60));
  pen.setWidthF(2.0);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 270 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 130, 60));
  const QPointF head[] = {{9, 0}, {14, 3}, {9, 7}};
  p.drawPolygon(head, 3);
}

using Painter = void (*)(QPainter&);
constexpr Painter kPainters[kToolbarIconCount] = {
    drawOpen, drawInfo, drawEdit, drawMemo, drawCopy, drawRecordCount, drawBlockSize, drawRefresh,
};

}  // namespace

QPixmap toolbarPixmap(int index) {
  if (index < 0 || index >= kToolbarIconCount) return QPixmap();
  QPixmap pixmap(kToolbarIconSize, kToolbarIconSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  kPainters[index](painter);
  return pixmap;
}

QIcon toolbarIcon(int index) { return QIcon(toolbarPixmap(index)); }

QIcon searchGlyph() {
  QPixmap pixmap(10, 10);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(30, 30, 30));
  const QPointF arrow[] = {{2, 1}, {8, 5}, {2, 9}};
  painter.drawPolygon(arrow, 3);
  return QIcon(pixmap);
}

}  // namespace app
