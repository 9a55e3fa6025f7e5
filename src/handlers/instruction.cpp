#include "handlers/instruction.h"

namespace taurelin {

void InstructionValues::set(QLatin1String column, QString value) {
  for (auto& entry : values_) {
    if (entry.first == column) {
      entry.second = std::move(value);
      return;
    }
  }
  values_.emplace_back(column, std::move(value));
}

QString InstructionValues::operator[](QLatin1String column) const {
  for (const auto& entry : values_) {
    if (entry.first == column) return entry.second;
  }
  return {};
}

}  // namespace taurelin
