// The word-start classifier: the character sets that WordStarters
// definitions name, the stop-word mask rows, and the classifier record whose
// hash the index builder stores as the index's integrity check.
//
// A WordStarters definition is two character specifications back to back:
// the first says which characters may precede an index point, the second
// which characters may start it. A specification is one single character
// or "&name." with a name of up to 62 characters from the table of named
// sets (printable, ISO_printable, alphabetic, ...).
//
// A named set is held as a set text: either a plain list of characters, or
// "Range:" (any case) followed by ranges X-Y back to back. In both forms a
// character may be written "U+" and upper-case hexadecimal digits.
//
// Stop-word masks: rows 0..L (L = the longest word's length) of 256 32-bit
// masks. Word k (bit 1 << k) sets M[i][word[i]] for each of its positions i
// and M[len][blank]; M[0][blank] is all ones, so that a point at a blank is
// always removed. At most 32 words.
//
// Reports (through the error-handler hook): 150000 unknown set name or a
// malformed definition (9), 150003 character value too large (9), 150004
// range without "-" (15), 150005 range running backwards (15), 150001 too
// many stop words (9). A function that reported returns the severity.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

using CharSet = std::bitset<256>;
using MaskRow = std::array<uint32_t, 256>;

enum : int {
  PITCL_ALPHABET = 256,
  PITCL_MAX_NAME = 62,       // longest set name in "&name."
  PITCL_MAX_STOP_WORDS = 32,
};

// Parses a set text into *out (cleared first). name is used in messages.
// 0 or the severity of the report.
int pitcl_parse_set(const char* text, int alphabet, const char* name, CharSet* out);
// The set of a named character set ("ISO_printable", ...): 0, or 9 after
// 150000 for an unknown name.
int pitcl_named_set(const std::string& name, int alphabet, CharSet* out);
// Splits a definition into its two specifications' sets. 0, or the
// severity of the report (150000 with the definition when it is not two
// specifications, with the name when a name is unknown).
int pitcl_parse_definition(const char* definition, int alphabet, CharSet* preceding,
                           CharSet* starting);

// Stop-word mask rows for the words (bytes taken unsigned). 0, or 9 after
// 150001 when there are more than 32 words (rows then left empty).
int pitcl_stop_masks(const std::vector<std::string>& words, std::vector<MaskRow>* rows);

// The classifier record: a copy of the character map, the pair table
// indexed by (preceding character x 256 + starting character), and the
// stop-word mask rows.
struct Classifier {
  std::array<unsigned char, 256> map;
  std::vector<unsigned char> pairs;  // 65536 bytes
  std::vector<MaskRow> masks;
};

// Builds a classifier from a map, the stop words and the definitions (null
// or empty: no definitions, an all-zero pair table). Null after a report.
Classifier* pitclbc(const unsigned char map[256], const std::vector<std::string>& stop_words,
                    const std::vector<std::string>* definitions);
// The hash: a over the map, b over the pair table (bytes as signed 8-bit
// values), c over every mask of every row, each x := x * 3277 + v from 0;
// b * 5941 + a * 8390 + c * 9516, all modulo 2^32.
int32_t pitclhs(const Classifier* classifier);
void pitclfr(Classifier* classifier);
