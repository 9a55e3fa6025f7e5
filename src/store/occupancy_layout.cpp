#include "store/occupancy_layout.h"

namespace taurelin {

void OccupancyLayout::reset() {
  version_.reset();
  for (std::optional<Capacities>& kept : capacities_) kept.reset();
}

}  // namespace taurelin
