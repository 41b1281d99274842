#include "app/qt/status_icon.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>


namespace berth::qt {
namespace {

constexpr qreal kDisabledOpacity = 0.35;
constexpr qreal kTileRadius = 3.0;

// The image's display size, centred in `rect` on whole pixels, shrunk to fit.
QRect centred(const app::Image& image, const QRect& rect) {
  QSize size = display_size(image);
  if (size.width() > rect.width() || size.height() > rect.height())
    size.scale(rect.size(), Qt::KeepAspectRatio);
  const QPoint corner(rect.x() + (rect.width() - size.width()) / 2, rect.y() + (rect.height() - size.height()) / 2);
  return {corner, size};
}

}  // namespace

StatusIconEngine::StatusIconEngine(std::shared_ptr<app::Image> image, std::shared_ptr<app::Image> alternate,
                                   StatusLook look, ImageLibrary& pictures)
    : image_(std::move(image)), alternate_(std::move(alternate)), look_(look), pictures_(pictures) {}

void StatusIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) {
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->setRenderHint(QPainter::SmoothPixmapTransform);
  const std::shared_ptr<app::Image>& shown = look_ == StatusLook::highlighted && alternate_ ? alternate_ : image_;
  if (look_ == StatusLook::highlighted) {
    QPainterPath tile;
    tile.addRoundedRect(QRectF(rect), kTileRadius, kTileRadius);
    painter->fillPath(tile, QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight));
  }
  if (look_ == StatusLook::disabled) painter->setOpacity(kDisabledOpacity);
  if (shown) pictures_.icon(*shown).paint(painter, centred(*shown, rect));
  painter->restore();
}

QPixmap StatusIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
  return scaledPixmap(size, mode, state, 1.0);
}

QPixmap StatusIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) {
  QPixmap pixmap(size * scale);
  pixmap.setDevicePixelRatio(scale);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  paint(&painter, QRect(QPoint(0, 0), size), mode, state);
  return pixmap;
}

QIconEngine* StatusIconEngine::clone() const { return new StatusIconEngine(image_, alternate_, look_, pictures_); }

QIcon status_icon(const std::shared_ptr<app::Image>& image, const std::shared_ptr<app::Image>& alternate,
                  StatusLook look, ImageLibrary& pictures) {
  return QIcon(new StatusIconEngine(image, alternate, look, pictures));  // the icon owns its engine
}

}  // namespace berth::qt
