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

// The classes of the six delimiter tables, by table: the rows
// (lexrows.cpp) and the class lists that build the tables (chclass.cpp)
// both name them. Classes 5 to 8 are the same in all six: non-SGML
// character, entity end (also 0), end of buffer, RS.
namespace lexclass {
namespace content {  // ContentClass
enum : int8_t {
  DIGIT = 1, DOT, LETTER, SPACE, NONSGML, EE, EOB, RS, RE, TAB, ESC = 12, ERO, BS, HYPHEN,
  SLASH, NET, QUOT, SRSPACE, EXCL, RSQB, LSQB, QUES, NUM, GT, LT, SRCHAR
};
}
namespace litcon {  // LitContentClass
enum : int8_t {
  DIGIT = 1, DOT, LETTER, SPACE, NONSGML, EE, EOB, RS, RE, TAB, ESC = 12, ERO, BS, HYPHEN,
  SLASH, NET, EXCL, RSQB, LSQB, PERO, QUES, NUM, GT, LT
};
}
namespace group {  // GroupClass
enum : int8_t {
  NMCHAR = 1, LETTER, RE, BLANK, NONSGML, EE, EOB, RS, AND, GRPC, GRPO, LIT, LITA, RSQB,
  LSQB, OPT, OR, PERO, PLUS, REP, RNI, SEQ, REFC
};
}
namespace literal {  // LiteralClass
enum : int8_t {
  DIGIT = 1, MINPUNCT, LETTER, SPACE, NONSGML, EE, EOB, RS, RE, TAB, ESC = 12, ERO, EXCL,
  RSQB, LSQB, PERO, NUM, GT, LT
};
}
namespace markup {  // MarkupClass
enum : int8_t {
  DOT = 1, DIGIT, LETTER, BLANK, NONSGML, EE, EOB, RS, HYPHEN, SLASH, GRPO, LIT, LITA, DSO,
  DSC, PERO, PLUS, REFC, RNI, GT, LT, VI
};
}
namespace sd {  // SdClass
enum : int8_t { DATA = 1, DIGIT, LETTER, SEP, NONSGML, EE, EOB, RS, HYPHEN, LIT, LITA, GT };
}
}  // namespace lexclass

// Class of the escape character in the content, literal-content and
// literal tables (given at set-up).
constexpr uint8_t kEscapeClass = lexclass::content::ESC;
static_assert(kEscapeClass == lexclass::litcon::ESC && kEscapeClass == lexclass::literal::ESC);
// The non-SGML class of the first six tables.
constexpr uint8_t kNonSgmlClass = lexclass::content::NONSGML;

// Folds general names: "a".."z" to "A".."Z", 172 to 173, others to
// themselves. The SGML declaration may replace it.
extern uint8_t NameCase[256];

// Sets every table and NameCase back to the reference concrete syntax.
void char_tables_reset();
