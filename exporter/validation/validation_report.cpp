#include "exporter/validation/validation_report.h"

void ValidationReport::Clear() { *this = ValidationReport(); }

bool ValidationReport::Empty() const {
  return bodyParts.empty() && facialParts.empty() && materials.empty() && missingSets.empty() && setCounts.empty() &&
         unmatchedSets.empty() && bones.empty() && inherited.empty() && hierarchy.empty();
}
