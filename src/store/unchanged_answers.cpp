#include "store/unchanged_answers.h"

namespace taurelin {

void UnchangedAnswers::begin(const QByteArray& mark) {
  if (mark.isEmpty() || mark_ != mark) {
    availability_.clear();
    matrix_.clear();
    facilities_.clear();
    layoutCurrent_ = false;
    mark_.reset();
  }
  ++depth_;
  asking_ = !mark.isEmpty();
  if (asking_) mark_ = mark;
}

void UnchangedAnswers::end() {
  if (depth_ > 0) --depth_;
  if (depth_ == 0 && holds_ == 0) asking_ = false;
}

void UnchangedAnswers::release() {
  if (holds_ > 0) --holds_;
  if (depth_ == 0 && holds_ == 0) asking_ = false;
}

}  // namespace taurelin
