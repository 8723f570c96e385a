// The prolog loop: reads the document entity from its first character,
// dispatches each markup declaration, marked section and processing
// instruction, reads the external subset at the end of the internal one,
// and stops where the document instance starts.
#include <cstring>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl.h"
#include "sgml/switches.h"

namespace {

// The declaration names of the subset in the order they are tried, each
// a reserved name (so a NAMES replacement takes effect).
struct SubsetDecl {
  const char* reference;
  void (*run)();
};
const SubsetDecl kSubsetDecls[] = {
    {"ENTITY", decl_entity},   {"USEMAP", decl_usemap},   {"ATTLIST", md_attlist},
    {"SHORTREF", decl_shortref}, {"ELEMENT", md_element}, {"NOTATION", decl_notation},
};

// "<!" and a name in the prolog (outside the subset). Returns
// PROLOG_APPINFO when an SGML declaration had an APPINFO literal, else 0.
int prolog_declaration() {
  unsigned char* name = md_buffer();
  parse_name(name, 0);
  if (std::strcmp(name_chars(name), "SGML") == 0 && prolog.markup == 0 && !prolog.doctype) {
    // Only as the very first markup, in exact case.
    ++prolog.markup;
    return sgml_declaration() ? PROLOG_APPINFO : 0;
  }
  if (!prolog.doctype && keyword_is(name, "DOCTYPE")) {
    ++prolog.markup;
    md_doctype_start();
    return 0;
  }
  ++prolog.markup;
  sgml_error(P2_MARKUP_DECLARATION_NOT_PERMITTED_HERE, kStateCurrent, name_chars(name), nullptr);
  md_begin(kKwSGML);
  md_skip(parse_md_param(md_buffer2(), 0, &pcb_litp, md_buffer_size()));
  return 0;
}

// "<!" and a name in the subset.
void subset_declaration() {
  unsigned char* name = md_buffer();
  parse_name(name, 0);
  for (const SubsetDecl& d : kSubsetDecls) {
    if (keyword_is(name, d.reference)) {
      d.run();
      return;
    }
  }
  sgml_error(P2_MARKUP_DECLARATION_NOT_PERMITTED_HERE, kStateCurrent, name_chars(name), nullptr);
  md_begin(kKwSGML);
  md_skip(parse_md_param(md_buffer2(), 0, &pcb_litp, md_buffer_size()));
}

// The instance starts: set up the document element and run the checks.
int instance_starts(int code) {
  prolog.ended = true;
  prolog.start_code = code;
  doc_element_setup();
  prolog_end_checks();
  if (sgml_switches().prolog_only) return PROLOG_END;
  return code;
}

}  // namespace

// A comment declaration "<!--...-->", or the empty one "<!>".
void comment_declaration() {
  if (lex_current_char() == '>') return;
  lex_step_back(1);
  md_begin(kKwSGML);
  md_context().has_subject = false;
  md_skip(parse_md_param(md_buffer2(), 0, &pcb_litp, md_buffer_size()));
}

void prolog_reset() {
  prolog = PrologState{};
  prolog.block = &pcb_pro;
  pcb_reset(&pcb_pro);
  pcb_reset(&pcb_mds);
  pcb_reset(&pcb_msignore);
}

int parse_prolog() {
  if (prolog.block == nullptr) prolog_reset();
  if (prolog.ended) return PROLOG_END;
  for (;;) {
    int code = lex_engine(prolog.block);
    switch (code) {
      case LEX_ENTITY_END:
        if (prolog.external_open && entity_stack.level == 0) {
          prolog.external_open = false;
          if (prolog.external_only) md_doctype_end();
        }
        continue;
      case LEX_END_OF_INPUT:
        if (sgml_switches().prolog_only && prolog.doctype && prolog.block == &pcb_pro)
          return instance_starts(PROLOG_END);
        sgml_error(P127_DOCUMENT_ENDED_INVALIDLY_WITHIN_PROLOG, kStateCurrent, nullptr, nullptr);
        prolog.ended = true;
        return PROLOG_END;
      case PRO_DECLARATION:
        if (prolog_declaration() == PROLOG_APPINFO) return PROLOG_APPINFO;
        continue;
      case PRO_SUBSET_DECLARATION:
        ++prolog.markup;
        subset_declaration();
        continue;
      case PRO_COMMENT:
        ++prolog.markup;
        comment_declaration();
        continue;
      case PRO_MS_START: {
        ParseControlBlock* next = marked_section_start(prolog.block);
        if (next == &pcb_mscdata || next == &pcb_msrcdata) {
          sgml_error(P135_R_CDATA_MARKED_SECTION_IN_DECLARATION, kStateCurrent, nullptr, nullptr);
          return instance_starts(PROLOG_MARKUP_STARTS);
        }
        prolog.block = next;
        continue;
      }
      case PRO_MS_END:
        if (marked_section_end()) {
          prolog.block = &pcb_mds;
          pcb_reset(prolog.block);
        }
        continue;
      case PRO_PI:
        ++prolog.markup;
        return PROLOG_PI;
      case PRO_INVALID_RUN:
        sgml_error(P44_INVALID_CHARACTER_S_IGNORED, kStateCurrent, nullptr, nullptr);
        lex_step_back(1);
        continue;
      case PRO_DSC:
        if (entity_stack.level != 0) {
          sgml_error(P143_ILLEGAL_DSC_CHARACTER, kStateCurrent, nullptr, nullptr);
          lex_step_back(1);
          continue;
        }
        if (prolog.external_pending) {
          // The DSC is read again, and ends the declaration, once the
          // external subset has been read.
          lex_step_back(2);
          prolog.external_pending = false;
          prolog.external_open = true;
          EntityRecord* dtd = entfind(reinterpret_cast<const unsigned char*>("\011*DTDENT"));
          if (dtd == nullptr || entopen(dtd) != ENTITY_OPENED) prolog.external_open = false;
          continue;
        }
        lex_step_back(1);
        md_doctype_end();
        continue;
      case PRO_DATA_STARTS:
        lex_step_back(1);  // the content parser reads the data
        return instance_starts(PROLOG_DATA_STARTS);
      case PRO_TAG_STARTS:
        lex_step_back(2);
        return instance_starts(PROLOG_MARKUP_STARTS);
      case PRO_REFERENCE_STARTS:
        // "&#" (the "#" read last) is a character reference: data, which
        // starts the instance whatever character it names.
        prolog.char_ref_start = prolog.block->last_class == LitContentClass['#'];
        lex_step_back(2);
        return instance_starts(PROLOG_REFERENCE_STARTS);
      case PRO_MS_STARTS:
        return instance_starts(PROLOG_MS_STARTS);
      default:
        continue;
    }
  }
}
