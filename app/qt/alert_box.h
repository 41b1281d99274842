#pragma once
// The model's modal alerts as Qt message boxes: a critical box with the alert's title
// and message (shown as plain text, never read as markup) and its buttons, the default
// one first. The box is modal; the button pressed is the answer.
#include "app/model/application.h"

namespace berth::qt {

class AlertBoxes final : public app::AlertResponder {
 public:
  int respond(const app::Alert& alert) override;
};

}  // namespace berth::qt
