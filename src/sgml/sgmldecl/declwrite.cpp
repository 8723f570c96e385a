// Writing the SGML declaration in effect as text.
#include "io/vqio.h"
#include "sgml/lex/chclass.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

constexpr const char kVersion[] = "ISO 8879:1986";
constexpr const char kRegistration[] = "ISO Registration Number 100";
constexpr const char kLatin1[] = "ECMA-94 Right Part of Latin Alphabet Nr. 1";
constexpr const char kLatin1Escape[] = "ESC 2/13 4/1";
constexpr const char kCapacityReferenceSet[] = "ISO 8879:1986//CAPACITY Reference//EN";

const char* yes_no(int flag) { return flag ? "YES" : "NO"; }

// Whether some other character folds to c.
bool is_image_of_other(int c) {
  for (int d = 0; d < 256; ++d) {
    if (d != c && NameCase[d] == c) return true;
  }
  return false;
}

// The characters of a naming list: class cls of the name class table, not
// the image of another character, and (for name starts) not a small letter.
void write_naming(VqStream* s, const char* label, uint8_t cls, bool images) {
  vqio_fprintf(s, "\t\t%s \"", label);
  for (int c = 0; c < 256; ++c) {
    if (NameClass[c] != cls || is_image_of_other(c)) continue;
    if (cls == kNameStart && c >= 'a' && c <= 'z') continue;
    vqio_fprintf(s, "&#%d;", images ? NameCase[c] : c);
  }
  vqio_fprintf(s, "\"\n");
}

}  // namespace

void sgmldecl_write(VqStream* s) {
  SgmlSettings& st = sgml_settings();
  vqio_fprintf(s, "<!SGML \"%s\"\n", kVersion);
  vqio_fprintf(s, "\tCHARSET\n\tBASESET \"%s//CHARSET %s//%s\"\n\tDESCSET\n", kRegistration,
               kLatin1, kLatin1Escape);

  // Shunned characters without a markup role are not SGML characters.
  if (!st.writer_done) {
    st.writer_done = true;
    for (uint8_t& f : st.char_flags) {
      if ((f & kCharShunned) && !(f & kCharSignificant)) f |= kCharNonSgml;
    }
  }
  for (int first = 0; first < 256;) {
    bool non_sgml = st.char_flags[first] & kCharNonSgml;
    int end = first + 1;
    while (end < 256 && static_cast<bool>(st.char_flags[end] & kCharNonSgml) == non_sgml) ++end;
    if (non_sgml) {
      vqio_fprintf(s, "\t\t%d %d UNUSED\n", first, end - first);
    } else {
      vqio_fprintf(s, "\t\t%d %d %d\n", first, end - first, first);
    }
    first = end;
  }

  vqio_fprintf(s, "\tCAPACITY");
  bool differs = false;
  for (const CapacityEntry& c : st.capacities) differs = differs || c.limit != kCapacityReference;
  if (differs) {
    vqio_fprintf(s, " SGMLREF\n");
    for (const CapacityEntry& c : st.capacities) {
      if (c.limit != kCapacityReference) vqio_fprintf(s, "\t\t%s %ld\n", c.name, long{c.limit});
    }
  } else {
    vqio_fprintf(s, "\n\t\tPUBLIC \"%s\"\n", kCapacityReferenceSet);
  }

  vqio_fprintf(s, "\tSCOPE DOCUMENT\n");
  vqio_fprintf(s, "\tSYNTAX\n\tSHUNCHAR");
  for (int c = 0; c < 256; ++c) {
    if (st.char_flags[c] & kCharShunned) vqio_fprintf(s, " %d", c);
  }
  vqio_fprintf(s, "\n");
  vqio_fprintf(s, "\tBASESET \"%s//CHARSET %s//%s\"\n\tDESCSET 0 256 0\n", kRegistration, kLatin1,
               kLatin1Escape);
  vqio_fprintf(s, "\tFUNCTION\n\t\tRE 13\n\t\tRS 10\n\t\tSPACE 32\n\t\tTAB SEPCHAR 9\n");

  vqio_fprintf(s, "\tNAMING\n");
  write_naming(s, "LCNMSTRT", kNameStart, false);
  write_naming(s, "UCNMSTRT", kNameStart, true);
  write_naming(s, "LCNMCHAR", kNameChar, false);
  write_naming(s, "UCNMCHAR", kNameChar, true);
  vqio_fprintf(s, "\tNAMECASE\n\t\tGENERAL %s\n\t\tENTITY %s\n", yes_no(st.namecase_general),
               yes_no(st.namecase_entity));
  vqio_fprintf(s, "\tDELIM\n\t\tGENERAL SGMLREF\n\t\tSHORTREF %s\n",
               st.shortref_sgmlref ? "SGMLREF" : "NONE");

  vqio_fprintf(s, "\t\tNAMES SGMLREF\n");
  for (size_t i = 0; i < st.replaced_names.size() && i < st.reserved_names.size(); ++i) {
    if (!st.replaced_names[i].empty()) {
      vqio_fprintf(s, "%s %s\n", st.replaced_names[i].c_str(), st.reserved_names[i].c_str());
    }
  }

  vqio_fprintf(s, "\tQUANTITY SGMLREF\n");
  for (int q = 0; q < kQuantityCount; ++q) {
    if (!st.quantity_set.empty() && st.quantity_set[q]) {
      vqio_fprintf(s, "\t\t%s %d\n", st.quantities[q].name, st.quantities[q].value);
    }
  }

  vqio_fprintf(s, "\tFEATURES\n\t\tMINIMIZE DATATAG NO OMITTAG %s RANK NO SHORTTAG %s\n",
               yes_no(st.omittag), yes_no(st.shorttag));
  vqio_fprintf(s, "\t\tLINK SIMPLE NO IMPLICIT NO EXPLICIT NO\n");
  vqio_fprintf(s, "\t\tOTHER CONCUR NO ");
  if (st.subdoc > 0) {
    vqio_fprintf(s, "SUBDOC YES %ld ", long{st.subdoc});
  } else {
    vqio_fprintf(s, "SUBDOC NO ");
  }
  vqio_fprintf(s, "\tFORMAL %s\n", yes_no(st.formal));
  vqio_fprintf(s, "\tAPPINFO NONE");
  vqio_fprintf(s, "\n>\n");
}
