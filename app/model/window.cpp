#include "app/model/window.h"

#include "app/model/application.h"

namespace berth::app {

void TextField::set_string_value(std::string text) {
  string_value_ = std::move(text);
  notify_observers([this](ModelObserver& observer) { observer.text_field_changed(*this); });
}

void ProgressIndicator::start_animation() {
  animating_ = true;
  notify_observers([this](ModelObserver& observer) { observer.indicator_changed(*this); });
}

void ProgressIndicator::stop_animation() {
  animating_ = false;
  notify_observers([this](ModelObserver& observer) { observer.indicator_changed(*this); });
}

void Window::set_is_visible(bool visible) {
  visible_ = visible;
  notify_observers([this](ModelObserver& observer) { observer.window_changed(*this); });
}

}  // namespace berth::app
