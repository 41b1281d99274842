#pragma once
// The status item's picture in the system tray. It is drawn at the model's size (the
// logo's 18 points) in the middle of whatever square the tray gives it, shrunk only
// when the tray is smaller, so that the mark keeps its whole-pixel strokes. While the
// item is highlighted (its menu is open) the alternate image is shown on a tile of the
// highlight colour, as a highlighted item of the status bar looks; while it is
// disabled, the image is dimmed.
#include <QIcon>
#include <QIconEngine>

#include <memory>

#include "app/model/image.h"
#include "app/qt/image_library.h"

namespace berth::qt {

enum class StatusLook { normal, highlighted, disabled };

class StatusIconEngine final : public QIconEngine {
 public:
  // Either image may be missing: the look then shows what there is. The pictures come
  // decoded from `pictures`, which outlives the icon: the tray paints often (at every
  // opening of the menu), and decoding the PNG files each time cost memory and time.
  StatusIconEngine(std::shared_ptr<app::Image> image, std::shared_ptr<app::Image> alternate, StatusLook look,
                   ImageLibrary& pictures);

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
  QIconEngine* clone() const override;
  QString key() const override { return QStringLiteral("berth-status"); }

 private:
  std::shared_ptr<app::Image> image_;
  std::shared_ptr<app::Image> alternate_;
  StatusLook look_;
  ImageLibrary& pictures_;
};

// The tray icon of a status item's images in one look.
QIcon status_icon(const std::shared_ptr<app::Image>& image, const std::shared_ptr<app::Image>& alternate,
                  StatusLook look, ImageLibrary& pictures);

}  // namespace berth::qt
