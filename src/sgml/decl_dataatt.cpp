// The data attribute specification list of an ENTITY declaration, between
// "[" and "]" after the notation name.
#include "sgml/entity.h"
#include "sgml/message.h"
#include "sgml/prolog.h"
#include "sgml/settings.h"

bool data_attributes_read(NotationRecord* notation, AttributeList** out) {
  *out = nullptr;
  unsigned char* buffer = md_buffer2();
  const int litlen = quantity(kLITLEN);
  int items = 0;
  bool told = false;
  pcb_reset(&pcb_eal);
  for (;;) {
    int code = lex_engine(&pcb_eal);
    switch (code) {
      case LEX_END_OF_INPUT:
        sgml_fatal(133, kStateCurrent);
      case LEX_ENTITY_END:
        continue;
      case 20:
        if (items == 0) sgml_error(91, kStateCurrent, nullptr, nullptr);
        return true;
      case 22:
        parse_name(buffer, 1);
        break;
      case 23:
        parse_token(buffer, 3, quantity(kNAMELEN));
        break;
      case 31:
      case 32:
        parse_literal(buffer, &pcb_litr, litlen, code == 31 ? '"' : '\'');
        break;
      case 34:
        continue;  // VI
      default:
        return false;
    }
    // The values are checked against the notation's attribute list once
    // that list can be read here; without one they are data.
    if (items++ == 0 && notation->attributes == nullptr && !told) {
      sgml_error(22, kStateCurrent, nullptr, nullptr);
      told = true;
    }
  }
}
