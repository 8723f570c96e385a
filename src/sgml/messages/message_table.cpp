// The fixed tables of the parser messages: the class code of every
// message, the names of the parse states and declaration keywords, and the
// default layout words.
#include "sgml/messages/message_tables.h"
#include "sgml/parser_state.h"

#include <cstring>

namespace {

// Class code of P<n>: error (E), warning (W), critical (C) or information
// (I), then the area; only I leaves the error count unchanged, R gives the
// kind word "Error" and U "Unsupported feature".
const char* const kClasses[kMessageCount] = {
    "", "EC", "ED", "EQ", "ES", "EC", "EQ", "EM", "ES", "ES", "EC", "EC", "ES", "EC", "ES", "EQ",
    "EC", "EC", "EC", "EC", "EM", "WM", "EC", "ED", "ED", "EC", "ES", "EQ", "ED", "ED", "EC", "ER",
    "ER", "CR", "EQ", "EC", "EC", "ES", "ED", "WM", "ID", "EC", "EC", "EC", "ES", "IC", "WM", "WM",
    "WM", "WM", "WM", "EC", "EC", "EC", "EC", "ED", "ED", "ES", "ID", "ES", "WS", "ES", "ES", "ES",
    "ED", "EQ", "WQ", "WC", "ID", "EC", "EQ", "EC", "EC", "WC", "EC", "EQ", "EC", "EC", "EC", "EC",
    "ED", "ED", "ED", "ED", "EC", "WD", "EC", "ID", "ES", "EC", "ED", "ED", "CS", "EC", "ER", "EC",
    "EC", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED",
    "ED", "EQ", "EQ", "EQ", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "EC", "ED", "CS",
    "ED", "ED", "ED", "ED", "EC", "CS", "EQ", "ED", "EQ", "WD", "ES", "CS", "ID", "ES", "EC", "EC",
    "ED", "ES", "ER", "ER", "ER", "ER", "ER", "ER", "ES", "ID", "ED", "ED", "ED", "ED", "ED", "EC",
    "CR", "CD", "WQ", "WD", "ED", "ED", "ED", "ED", "ED", "EU", "ED", "ED", "WD", "ED", "WD", "ED",
    "ED", "ED", "EU", "ED", "EU", "ED", "EU", "EU", "ED", "ED", "ED", "EU", "EQ", "ID", "ID", "WD",
    "WD", "WM", "WM", "WM", "WM", "WM", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "ED", "EU", "EU",
    "EU", "ED", "ED", "ED", "ED", "ED", "ED", "EU", "EC", "EC", "ED", "ED", "ED", "ED", "ED", "EU",
    "EQ", "EQ", "WM", "IU", "ID"};

const char* const kStateLabels[kParseStateCount] = {
    "CONC", "CONE", "CONM",   "CONR",     "ETAG",     "GRCM", "GRCS",   "GRNM", "GRNT",
    "LITC", "LITP", "LITR",   "LITT",     "LITV",     "MD",   "MDC",    "MDI",  "MDS",
    "MSCDATA", "MSIGNORE", "MSRCDATA", "PRO", "ENTREF", "STAG", "VAL", "EAL", "SD"};

}  // namespace

const char* const StateNames[kStateNameCount] = {
    "character data", "element content", "mixed content", "replaceable character data",
    "tag close", "content model group", "content model occurrence indicator", "name group",
    "name token group", "system data", "parameter literal", "attribute value literal",
    "tokenized attribute value literal", "minimum literal", "markup declaration",
    "markup declaration comment", "ignored markup declaration", "declaration subset",
    "CDATA marked section", "IGNORE marked section", "RCDATA marked section", "prolog",
    "reference", "attribute specification list", "tokenized attribute value",
    "attribute specification list close", "SGML declaration",
    // Declaration keywords.
    "attribute definition list", "document type", "element", "entity", "link type", "link set",
    "notation", "SGML", "short reference mapping", "link set use", "short reference use"};

const char* const PartTexts[kPartCount] = {
    "In file included", "SGML error", "Unsupported feature", "Error", "Warning",
    " at %s, %.0sline %lu", " at entity %s, line %lu", "%.0s%.0s in declaration parameter %d",
    "%.0s in declaration parameter %d", "%.0s", " at end of file", " at record start",
    " at record end", " at \"%c\"", " at \"\\%03o\"", " accessing \"%s\"", "Element structure:"};

const char* message_class(int n) {
  return n >= 0 && n < kMessageCount ? kClasses[n] : "";
}

const char* parse_state_label(int state) {
  return state >= 0 && state < kParseStateCount ? kStateLabels[state] : nullptr;
}

int parse_state_by_label(std::string_view label) {
  for (int i = 0; i < kParseStateCount; ++i) {
    if (label == kStateLabels[i]) return i;
  }
  return -1;
}
