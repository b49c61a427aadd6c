#include "DirDlgGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <map>

namespace kdx::widgets::glyphs {

namespace {

QPixmap Blank(int w, int h) {
  QPixmap pixmap(w, h);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

const QColor kOutline(96, 72, 0);
const QColor kFolderBack(214, 170, 40);
const QColor kFolderFront(250, 214, 100);

// A folder: closed (tab and body), open (body tilted forward) or current (open, with a marker
// that it is the folder being shown).
QPixmap DrawFolder(picker::DirItemKind kind) {
  QPixmap pixmap = Blank(16, 13);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(kOutline);
  // Back with tab.
  p.setBrush(kFolderBack);
  p.drawPolygon(QPolygon({{1, 2}, {6, 2}, {7, 3}, {14, 3}, {14, 11}, {1, 11}}));
  if (kind == picker::DirItemKind::ClosedFolder) {
    p.setBrush(kFolderFront);
    p.drawRect(1, 5, 13, 6);
  } else {
    // Open: the front leans forward, showing the inside.
    p.setBrush(QColor(255, 250, 220));
    p.drawRect(2, 4, 11, 4);
    p.setBrush(kFolderFront);
    p.drawPolygon(QPolygon({{3, 6}, {15, 6}, {13, 11}, {1, 11}}));
    if (kind == picker::DirItemKind::CurrentFolder) {
      p.setPen(QColor(0, 0, 160));
      p.setBrush(QColor(0, 0, 160));
      p.drawRect(6, 8, 3, 1);
    }
  }
  return pixmap;
}

QPixmap DrawDrive(platform::DriveKind kind) {
  QPixmap pixmap = Blank(16, 16);
  QPainter p(&pixmap);
  p.setPen(Qt::black);
  switch (kind) {
    case platform::DriveKind::Removable:  // a memory stick / diskette: body with a shutter
      p.setBrush(QColor(40, 60, 160));
      p.drawRect(3, 1, 10, 13);
      p.setBrush(QColor(200, 200, 200));
      p.drawRect(5, 1, 6, 4);
      p.setBrush(Qt::white);
      p.drawRect(5, 9, 6, 4);
      break;
    case platform::DriveKind::Fixed:  // a disk drive box with its light
    case platform::DriveKind::Network:
      p.setBrush(QColor(190, 190, 190));
      p.drawRect(1, 5, 14, 6);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0, 180, 0));
      p.drawRect(11, 8, 2, 2);
      if (kind == platform::DriveKind::Network) {  // the cable to the network below
        p.setPen(QColor(0, 0, 0));
        p.drawLine(8, 11, 8, 14);
        p.drawLine(3, 14, 13, 14);
      }
      break;
    case platform::DriveKind::CdRom:  // a disc
      p.setRenderHint(QPainter::Antialiasing);
      p.setBrush(QColor(210, 210, 230));
      p.drawEllipse(QRectF(1.5, 0.5, 13, 13));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(6, 5, 4, 4));
      break;
    case platform::DriveKind::RamDisk:  // a memory chip with its pins
      p.setBrush(QColor(30, 110, 60));
      p.drawRect(2, 4, 12, 7);
      p.setPen(QColor(200, 170, 0));
      for (int x = 3; x <= 13; x += 2) {
        p.drawLine(x, 1, x, 3);
        p.drawLine(x, 12, x, 14);
      }
      break;
  }
  return pixmap;
}

QPixmap DrawFile(picker::FileGlyph kind) {
  if (kind == picker::FileGlyph::Folder) {
    QPixmap pixmap = Blank(16, 16);
    QPainter p(&pixmap);
    p.drawPixmap(0, 2, DrawFolder(picker::DirItemKind::ClosedFolder));
    return pixmap;
  }
  QPixmap pixmap = Blank(16, 16);
  QPainter p(&pixmap);
  p.setPen(Qt::black);
  if (kind == picker::FileGlyph::Executable) {  // a program window
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 11);
    p.setBrush(QColor(0, 0, 140));
    p.drawRect(1, 2, 13, 3);
  } else {  // a sheet with a folded corner
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
    p.drawPolyline(QPolygon({{10, 1}, {10, 4}, {13, 4}}));
  }
  return pixmap;
}

template <typename Kind, typename Draw>
const QPixmap& Cached(Kind kind, Draw draw) {
  static std::map<Kind, QPixmap> cache;
  auto it = cache.find(kind);
  if (it == cache.end()) it = cache.emplace(kind, draw(kind)).first;
  return it->second;
}

}  // namespace

const QPixmap& Folder(picker::DirItemKind kind) {
  return Cached(kind, DrawFolder);
}
const QPixmap& Drive(platform::DriveKind kind) {
  return Cached(kind, DrawDrive);
}
const QPixmap& File(picker::FileGlyph kind) {
  return Cached(kind, DrawFile);
}

}  // namespace kdx::widgets::glyphs
