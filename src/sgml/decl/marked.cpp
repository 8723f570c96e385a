// Marked sections of the declaration subset: the status keywords at the
// start ("<![" ... "["), the ignored sections and their nesting, the end
// "]]>".
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

ParseControlBlock* marked_section_start(ParseControlBlock* block) {
  if (block == &pcb_msignore) {
    ++prolog.ms_ignore;
    return block;
  }
  if (prolog.ms_open >= quantity(kTAGLVL)) {
    sgml_error(P27_MARKED_SECTION_START_IGNORED, kStateCurrent, number_text(prolog.ms_open),
               nullptr);
    return block;
  }
  ++prolog.ms_open;
  const int level = entity_stack.level;
  md_state.level = level;
  unsigned char* buffer = md_buffer2();
  int status = MS_INCLUDE;
  int code;
  for (;;) {
    code = parse_md_param(buffer, 2, nullptr, quantity(kNAMELEN));
    if (code != MD_NAME) break;
    const char* reference = reserved_reference(buffer);
    int value = reference ? keyword_lookup(kw_marked_section, reference) : 0;
    if (value == 0) {
      sgml_error(P64_KEYWORD_IGNORED, kStateCurrent, name_chars(buffer), name_chars(buffer));
      continue;
    }
    if (value > status) status = value;
  }
  if (code != MD_DSO) {
    sgml_error(P97_DSO_DELIMITER_OMITTED_FROM_MARKED_SECTION, kStateCurrent, "[", nullptr);
    if (code == MD_MDC) lex_engine(&pcb_mdc);
  }
  if (entity_stack.level != level)
    sgml_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent, nullptr, nullptr);
  if (trace_on.ms) trace_marked_section('S', status, 1, prolog.ms_open, prolog.ms_open);
  switch (status) {
    case MS_IGNORE:
      prolog.ms_ignore = 1;
      pcb_reset(&pcb_msignore);
      return &pcb_msignore;
    case MS_CDATA:
      pcb_reset(&pcb_mscdata);
      return &pcb_mscdata;
    case MS_RCDATA:
      pcb_reset(&pcb_msrcdata);
      return &pcb_msrcdata;
    default:
      return block;
  }
}

int marked_section_end() {
  if (prolog.ms_ignore > 0) {
    if (--prolog.ms_ignore > 0) return 0;
    --prolog.ms_open;
    return 1;
  }
  if (prolog.ms_open == 0) {
    sgml_error(P26_MARKED_SECTION_END_IGNORED, kStateCurrent, nullptr, nullptr);
    return 0;
  }
  --prolog.ms_open;
  return 0;
}
