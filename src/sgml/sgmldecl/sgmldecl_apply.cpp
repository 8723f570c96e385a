// The character settings of a successful SGML declaration: the character
// flags reconciled with the document character set, then the class of
// every character in every lexical table, and the NAMECASE map.
#include <cstring>

#include "sgml/lex/chclass.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"

namespace {

bool name_class(uint8_t cls) { return cls == kNameChar || cls == kNameStart; }

}  // namespace

void sd_apply_characters() {
  SgmlSettings& s = sgml_settings();
  NamingCopies& n = naming_copies;
  if (n.built) {
    for (int c = 0; c < 256; ++c)
      if (name_class(n.classes[c])) s.char_flags[c] |= kCharSignificant;
  }
  for (int c = 0; c < 256; ++c) {
    uint8_t& f = s.char_flags[c];
    if ((f & kCharSignificant) && (f & kCharNonSgml)) {
      char text[2] = {static_cast<char>(c), '\0'};
      md_error(P177_SIGNIFICANT_CHARACTER_CANNOT_BE_NON_SGML, text, nullptr);
      f &= static_cast<uint8_t>(~kCharNonSgml);
    } else if (!(f & kCharSignificant) && (f & kCharShunned) && !(f & kCharNonSgml)) {
      md_error(P176_NON_SIGNIFICANT_SHUNNED_CHARACTER_NUMBER_NOT, decl_number_text(c), nullptr);
      f |= kCharNonSgml;
    }
  }
  // Every table as it was: the reference characters and the old naming
  // classes are read from these while the tables change.
  constexpr int kTables = sizeof ClassTables / sizeof ClassTables[0] - 1;
  uint8_t old[kTables][256];
  for (int t = 0; t < kTables; ++t) std::memcpy(old[t], ClassTables[t], 256);
  const uint8_t* old_names = old[kTables - 1];
  for (int c = 0; c < 256; ++c) {
    uint8_t f = s.char_flags[c];
    if (f & kCharSpecial) {
      if (!(f & kCharNonSgml))
        md_error(P191_CHARACTER_NUMBER_MUST_BE_NON_SGML, decl_number_text(c), nullptr);
      continue;
    }
    // 0: the class of 255; 1: of 254; 2: of '.'; 3: of 'A'; 4: of ':';
    // -1 unchanged.
    int like;
    if (f & kCharNonSgml) {
      like = 255;
    } else if (f & kCharSignificant) {
      like = -1;
      if (n.built && n.classes[c] != old_names[c]) {
        if (n.classes[c] == kNameChar)
          like = '.';
        else if (n.classes[c] == kNameStart)
          like = 'A';
        else if (name_class(old_names[c]))
          like = ':';
      }
    } else {
      like = 254;
    }
    if (like < 0) continue;
    for (int t = 0; t < kTables; ++t) ClassTables[t][c] = old[t][like];
  }
  if (n.built) std::memcpy(NameCase, n.namecase, sizeof n.namecase);
  n.built = false;
}
