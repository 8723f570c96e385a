// External identifiers: the record that the declaration parsers fill, the
// formal public identifier parse, and the lookup that turns an identifier
// into the file (or list of files) holding its text: the entity map file
// "sgmlentity.map", the system identifier itself, then the templates of
// SGML_PATH.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where a part of a formal public identifier stands in its text.
struct TextSpan {
  int32_t length = 0;
  int32_t offset = 0;
};

// Kinds of external identifier.
enum ExternalKind : int32_t {
  kExtData = 1,       // external data entity or subdocument
  kExtGeneral = 2,    // general text entity
  kExtParameter = 3,  // parameter entity
  kExtDoctype = 4,
  kExtLinktype = 5,
  kExtNotation = 6,
};

// Public text classes (the value of the class map).
enum PublicTextClass : int32_t {
  kClassCAPACITY = 1, kClassCHARSET, kClassNOTATION, kClassSYNTAX, kClassDOCUMENT, kClassDTD,
  kClassELEMENTS, kClassENTITIES, kClassLPD, kClassNONSGML, kClassSHORTREF, kClassSUBDOC,
  kClassTEXT
};

struct ExternalId {
  char owner_type = 0;     // '+' registered, '-' unregistered, '!' ISO owner
  TextSpan owner;
  int32_t text_class = 0;  // PublicTextClass
  char availability = 0;   // '-' unavailable, '+' available
  TextSpan description;
  TextSpan language;       // the designating sequence for class CHARSET
  TextSpan version;        // length 0 when absent
  // -1 not a formal public identifier; 0 formal; 1 formal, of a class from
  // DOCUMENT on, without a display version.
  int32_t form = 0;
  std::string name;        // entity, document type or notation name
  int32_t kind = 0;        // ExternalKind
  std::optional<std::string> notation;   // kind 1: the data content notation
  std::optional<std::string> public_id;
  // Record boundaries inside are the parser's RS (10) and RE (13).
  std::optional<std::string> system_id;
};

// The class names as the class map holds them ("CAPACITY" ... "TEXT"),
// index 1 to 13; the file-name forms are in lower case.
extern const char* const PublicTextClassNames[14];

// What parse_fpi found: a formal public identifier, or the first failure.
enum FpiResult : int {
  FPI_OK = 0,
  FPI_OWNER_TYPE = 1,         // owner type not followed by "//", or nothing after it
  FPI_OWNER_END = 2,          // no "//" after the owner
  FPI_CLASS_END = 3,          // no space after the class
  FPI_UNKNOWN_CLASS = 4,
  FPI_NO_DESCRIPTION = 5,     // nothing after the class
  FPI_DESCRIPTION_END = 6,    // no "//" after the description
  FPI_LANGUAGE = 7,           // a language that is not all upper-case letters
  FPI_EARLY_VERSION = 8,      // a version for a class before DOCUMENT
  FPI_AFTER_VERSION = 9,      // "//" after the version
  FPI_NOT_NOTATION = 10,      // a notation's identifier of a class other than NOTATION
};
// Splits the public identifier as a formal public identifier into the
// record's fields (as far as it got).
FpiResult parse_fpi(ExternalId* record);
// The first separator c in [text, end) ("/" only doubled, "//"): the
// position after it, with *length the characters before it; null when
// there is none.
const char* fpi_find_separator(const char* text, const char* end, char c, int32_t* length);

// A list of file names, each ended by a NUL, ended by an empty name.
using FileList = std::string;

// The files of an external identifier, or none.
std::optional<FileList> entity_file_generate(const ExternalId& record);
// The file of the first fitting line of the entity map, or none.
std::optional<FileList> entity_map_lookup(const std::string& identifier);
// Appends the expansion of escape letter to out (null: only measure); its
// length, or -1 when the escape does not apply to the record.
int sgml_path_expand(const ExternalId& record, char letter, std::string* out);
// Appends text made fit for a file name: ' ' becomes '_', '/' '%', and
// with fold an upper-case letter becomes lower case. The length appended.
size_t name_copy_case(std::string* out, const char* text, size_t length, bool fold);
// Forgets the SGML_PATH read at the first lookup (for tests).
void sgml_path_reset();
