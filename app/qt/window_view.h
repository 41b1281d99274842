#pragma once
// A window of the application's interface file, shown by Qt: its title, its frame
// (the interface file measures from the bottom left of the screen, Qt from the top
// left), a label for each text field and a bar for each progress indicator, busy
// while the indicator animates. It follows the model: shown and hidden with the
// window, text and animation as they change. It is shown without taking the focus,
// as the model's windows are made visible without being made key.
#include <QWidget>

#include <map>
#include <memory>

#include "app/model/window.h"

class QLabel;
class QProgressBar;

namespace berth::qt {

class WindowView final : public QWidget {
 public:
  explicit WindowView(std::shared_ptr<const app::Window> window);

  const app::Window& window() const { return *window_; }
  void window_changed();
  // False when the control is not in this window.
  bool text_field_changed(const app::TextField& field);
  bool indicator_changed(const app::ProgressIndicator& indicator);

  QLabel* label_for(const app::TextField& field) const;
  QProgressBar* bar_for(const app::ProgressIndicator& indicator) const;

 private:
  void add_control(const app::InterfaceElement& element);
  // A frame of the model, measured from the bottom of `height`, in Qt's coordinates.
  static QRect flipped(const app::Rect& frame, int height);

  std::shared_ptr<const app::Window> window_;
  std::map<const app::TextField*, QLabel*> labels_;
  std::map<const app::ProgressIndicator*, QProgressBar*> bars_;
};

}  // namespace berth::qt
