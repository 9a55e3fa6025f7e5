#include "store/unchanged_answers.h"

namespace taurelin {

void UnchangedAnswers::begin(const QByteArray& mark) {
  if (mark.isEmpty() || mark_ != mark) {
    availability_.clear();
    matrix_.clear();
    layoutCurrent_ = false;
    mark_.reset();
  }
  asking_ = !mark.isEmpty();
  if (asking_) mark_ = mark;
}

}  // namespace taurelin
