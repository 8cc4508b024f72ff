// Feedback that holds back what a drawing says until its turn comes, so that drawings converted
// at the same time report in input order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/services.h"

namespace kelvane {

class DeferredFeedback final : public RunFeedback {
 public:
  explicit DeferredFeedback(RunFeedback& base) : base_(base) {}

  // Carries out what was held back, in order, and forgets it.
  void Release() {
    for (const std::function<void()>& action : held_) action();
    held_.clear();
  }

  void SetStatusText(std::string_view sjisText) override {
    held_.push_back([this, text = std::string(sjisText)] { base_.SetStatusText(text); });
  }
  bool StopRequested() override { return base_.StopRequested(); }

 private:
  RunFeedback& base_;
  std::vector<std::function<void()>> held_;
};

}  // namespace kelvane
