#include "app/qt/window_view.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace berth::qt {
namespace {

int whole(double value) { return static_cast<int>(std::lround(value)); }

void show_animation(QProgressBar& bar, const app::ProgressIndicator& indicator) {
  // Running: a bar without a range, which is Qt's busy indicator. Stopped: an empty bar.
  bar.setRange(0, indicator.is_animating() ? 0 : 1);
  bar.setValue(0);
}

}  // namespace

WindowView::WindowView(std::shared_ptr<const app::Window> window) : window_(std::move(window)) {
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowTitle(QString::fromStdString(window_->title()));
  const app::Rect frame = window_->frame();
  setFixedSize(whole(frame.width), whole(frame.height));
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) {
    QRect placed = flipped(frame, screen->geometry().height());
    // A frame meant for a larger screen still lands where it can be seen.
    const QRect available = screen->availableGeometry();
    const int rightmost = std::max(available.left(), available.x() + available.width() - placed.width());
    const int lowest = std::max(available.top(), available.y() + available.height() - placed.height());
    placed.moveTopLeft({std::clamp(placed.left(), available.left(), rightmost),
                        std::clamp(placed.top(), available.top(), lowest)});
    move(placed.topLeft());
  }
  for (const app::InterfaceElement& element : window_->content()) add_control(element);
}

QRect WindowView::flipped(const app::Rect& frame, int height) {
  return {whole(frame.x), height - whole(frame.y + frame.height), whole(frame.width), whole(frame.height)};
}

void WindowView::add_control(const app::InterfaceElement& element) {
  const int height = whole(window_->frame().height);
  if (const auto* field = std::get_if<std::shared_ptr<app::TextField>>(&element)) {
    auto* label = new QLabel(this);  // a child of the window, which frees it
    label->setGeometry(flipped((*field)->frame(), height));
    QFont font = label->font();
    font.setPixelSize(std::max(1, whole((*field)->font_size())));
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString((*field)->string_value()));
    labels_[field->get()] = label;
  } else if (const auto* indicator = std::get_if<std::shared_ptr<app::ProgressIndicator>>(&element)) {
    auto* bar = new QProgressBar(this);
    bar->setGeometry(flipped((*indicator)->frame(), height));
    bar->setTextVisible(false);
    show_animation(*bar, **indicator);
    bars_[indicator->get()] = bar;
  }
}

void WindowView::window_changed() { setVisible(window_->is_visible()); }

bool WindowView::text_field_changed(const app::TextField& field) {
  QLabel* label = label_for(field);
  if (label) label->setText(QString::fromStdString(field.string_value()));
  return label != nullptr;
}

bool WindowView::indicator_changed(const app::ProgressIndicator& indicator) {
  QProgressBar* bar = bar_for(indicator);
  if (bar) show_animation(*bar, indicator);
  return bar != nullptr;
}

QLabel* WindowView::label_for(const app::TextField& field) const {
  const auto it = labels_.find(&field);
  return it == labels_.end() ? nullptr : it->second;
}

QProgressBar* WindowView::bar_for(const app::ProgressIndicator& indicator) const {
  const auto it = bars_.find(&indicator);
  return it == bars_.end() ? nullptr : it->second;
}

}  // namespace berth::qt
