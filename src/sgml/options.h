// The parser's options for one run: the program that drives the parser
// fills the record before set-up (sgml_set_switches) and may change the
// document fields between documents; the parser reads it, and its filter
// input writes the fields marked below.
#pragma once

#include <cstdint>
#include <string>

struct ParserOptions {
  // Documents follow one another after one prolog (filter input, or the
  // documents a meta-structure file lists): the document element comes
  // from document_name, inclusion exceptions from the recorded inclusion
  // groups, and the document entity stays open at its end.
  bool documents_in_sequence = false;
  // The documents arrive on one input, each ended by a control byte
  // (input/filter.cpp).
  bool filter_input = false;
  // An entity reference in content is replaced by the entity's text; when
  // off it is written back to standard output as "&name;".
  bool echo_references = true;
  // The filter input reports each control byte it reads.
  bool verbose = false;
  // A carriage return reads as a blank.
  bool carriage_return_blank = false;
  int32_t start_position = 0;  // byte offset where reading starts
  int32_t end_limit = 0;       // offset past which a data dictionary's text ends (0: none)
  std::string document_name;   // document element name; the filter input sets it
  // Set by the filter input when a control byte stops the current document.
  int32_t filter_stop = 0;
  int32_t filter_last_control = ' ';  // the control byte that stopped it
};

// The run's options (the defaults until the program fills them).
extern ParserOptions sgml_options_record;
inline ParserOptions& sgml_options() { return sgml_options_record; }
