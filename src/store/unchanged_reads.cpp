#include "store/unchanged_reads.h"

namespace taurelin {

void UnchangedReads::begin(const QByteArray& mark) {
  if (mark.isEmpty() || mark_ != mark) {
    occupancy_.clear();
    prices_.clear();
    layoutCurrent_ = false;
    mark_.reset();
  }
  if (mark.isEmpty()) {
    asking_ = false;
    return;
  }
  mark_ = mark;
  asking_ = true;
}

}  // namespace taurelin
