// Character flags at set-up, and the limits the region finder raises
// before every run.
#include <cctype>

#include "sgml/lex/chclass.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"

namespace {

const int32_t kRaisedQuantities[kQuantityCount] = {100, 960, 960,  32,   32, 32,  100, 96,
                                                   32,  1024, 80,  2,  1024, 960, 1000};

}  // namespace

void char_class_setup() {
  SgmlSettings& s = sgml_settings();
  const SwitchRecord& sw = sgml_switches();
  for (uint8_t& f : s.char_flags) f = 0;
  for (int c : {0, 1, 8, 26, 28, int{sw.param_drop1}, int{sw.param_drop2}, int{sw.escape}}) {
    s.char_flags[c] |= kCharSpecial;
  }
  for (int c = 0; c < 256; ++c) {
    if (s.char_flags[c] & kCharSpecial) continue;
    for (uint8_t* const* t = ClassTables; *t != nullptr; ++t) {
      const uint8_t* table = *t;
      if (table[c] != table[254] && table[c] != table[255]) {
        s.char_flags[c] |= kCharSignificant;
        break;
      }
    }
  }
  for (int c = 0; c < 256; ++c) {
    // The "C" locale's control characters: 0 to 31 and 127.
    if (c < 32 || c == 127 || c == 255 || std::iscntrl(c)) s.char_flags[c] |= kCharShunned;
  }
  parser_buffers_size();
}

void sgml_raise_limits() {
  SgmlSettings& s = sgml_settings();
  for (CapacityEntry& c : s.capacities) c.limit = kCapacityRaised;
  for (int q = 0; q < kQuantityCount; ++q) s.quantities[q].value = kRaisedQuantities[q];
  s.quantity_set.assign(kQuantityCount, 1);
  parser_buffers_size();
}
