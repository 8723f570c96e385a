// The end of a run: every entity closed, the capacity counts made, each
// limit exceeded reported, and the report handed to the region finder.
// Figures that child processes send back are merged in.
#include <string>

#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"

namespace {

constexpr CapacityFigures& figures = sgml_parser.figures;

int32_t clamp32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

void capacity_max_merge(const int32_t* values) {
  for (int i = 0; i < kCapacityCount; ++i)
    if (values[i] > figures.child[i]) figures.child[i] = values[i];
}

void sgml_end_capacity(CapacityReport* report) {
  entity_close_all();
  SgmlSettings& s = sgml_settings();
  const int delimiters = s.shortref_sgmlref ? 32 : 0;
  const uint8_t namelen = static_cast<uint8_t>(quantity(kNAMELEN) & 0xFF);
  int64_t counts[kCapacityCount] = {};
  for (int i = 1; i < kCapacityCount; ++i) counts[i] = s.capacities[i].count;
  counts[kMAPCAP] = static_cast<int64_t>(s.capacities[kMAPCAP].count) * (delimiters + 1);
  counts[kIDCAP] = sgml_tables.id_count;
  counts[kIDREFCAP] = counts[kLKSETCAP] = counts[kLKNMCAP] = 0;
  int64_t total = 0;
  for (int i = 1; i < kCapacityCount; ++i) {
    counts[i] += figures.child[i];
    const uint8_t w = s.capacities[i].weight > 1 ? namelen : 1;
    figures.weights[i] = w;
    total += w * counts[i];
  }
  counts[kTOTALCAP] = total;
  figures.weights[kTOTALCAP] = 1;
  for (int i = 0; i < kCapacityCount; ++i) {
    figures.counts[i] = clamp32(counts[i]);
    figures.limits[i] = s.capacities[i].limit;
    const int64_t points = static_cast<int64_t>(figures.weights[i]) * counts[i];
    if (points > figures.limits[i]) {
      const std::string excess = std::to_string(static_cast<long>(points - figures.limits[i]));
      sgml_error(P162_CAPACITY_LIMIT_EXCEEDED_BY_POINTS, kStateCurrent, CapacityNames[i],
                 excess.c_str());
    }
  }
  report->names = CapacityNames;
  report->weights = figures.weights;
  report->counts = figures.counts;
  report->limits = figures.limits;
}
