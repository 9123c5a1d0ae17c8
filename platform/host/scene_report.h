// A text account of a host scene read only through the SDK's calls: what the
// drn tool prints, and what tests compare to show that two scenes answer
// alike. Property names are the only thing taken from outside the calls
// (the SDK lists no names); their values come from FindProperty and
// GetPropertyVariant.
#pragma once

#include <string>
#include <vector>

#include "platform/host/interface.h"
#include "platform/host/scene_export.h"

namespace KT::Host {

enum class ReportDetail {
  kSummary,  // the scene line, properties, one line per node and its NodeTM per tick
  kFull,     // every answer of every call the exporter makes, per tick
};

std::string ReportScene(Interface& ip, IScene& scene, const std::vector<std::u16string>& propertyNames,
                        const std::vector<TimeValue>& ticks, ReportDetail detail);

}  // namespace KT::Host
