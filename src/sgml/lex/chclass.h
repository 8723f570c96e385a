// Character class tables of the lexical engine (reference concrete syntax)
// and the NAMECASE map.
//
// Each table gives a class for every character, indexed by unsigned char.
// In the first six tables the entry of 254 is the class of a plain data
// character and the entry of 255 the non-SGML class; the SGML declaration
// reclassifies characters with these two as references. The tables are
// process-wide and change at run time (set-up, the SGML declaration, the
// null end tag, short-reference maps).
#pragma once

#include <cstdint>

using CharClassTable = uint8_t[256];

extern CharClassTable ContentClass;     // CONM, CONE
extern CharClassTable LitContentClass;  // CONR, CONC, PRO, MDS
extern CharClassTable GroupClass;       // GRCM, GRCS, GRNT, GRNM, ENTREF, EAL
extern CharClassTable LiteralClass;     // LITP, LITC, LITR, LITV, LITT, MS*
extern CharClassTable MarkupClass;      // MD, MDC, MDI, STAG, ETAG
extern CharClassTable SdClass;          // SD (the SGML declaration)
extern CharClassTable NameClass;        // name readers, VAL

// The seven tables above in this order, then null.
extern uint8_t* const ClassTables[8];

// Classes of NameClass.
enum : uint8_t {
  kNameOther = 0,
  kNameRecord = 1,    // 10 and 13
  kNameSeparator = 2, // 9 and 32
  kNameChar = 3,      // "-" and "."
  kNameStart = 4,     // letters
  kNameDigit = 5,
  kNameBufferEnd = 6  // 28
};

// Class of the escape character in the content, literal-content and
// literal tables (given at set-up).
constexpr uint8_t kEscapeClass = 12;
// The non-SGML class of the first six tables.
constexpr uint8_t kNonSgmlClass = 5;

// Folds general names: "a".."z" to "A".."Z", 172 to 173, others to
// themselves. The SGML declaration may replace it.
extern uint8_t NameCase[256];

// Sets every table and NameCase back to the reference concrete syntax.
void char_tables_reset();
