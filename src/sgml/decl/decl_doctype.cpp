// The DOCTYPE declaration: the document type name, the external identifier
// of the external subset ("*DTDENT"), and the internal subset between DSO
// and DSC, after which the external subset is read.
#include <cstring>

#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

const unsigned char kDtdEntityName[] = "\011*DTDENT";

void count_entity(int32_t characters) {
  auto& caps = sgml_settings().capacities;
  caps[kENTCAP].count += 1;
  caps[kENTCHCAP].count += characters;
}

}  // namespace

void md_doctype_start() {
  md_begin(kKwDOCTYPE);
  prolog.doctype = true;
  unsigned char* buffer = md_buffer();
  int code = md_param(buffer, 1);
  md_trace(code, "1: doc type name");
  if (code != MD_NAME) {
    md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
    md_skip(code);
    return;
  }
  std::memcpy(prolog.doctype_name, buffer, buffer[0]);
  md_subject(prolog.doctype_name);
  include_names_define();

  code = md_param(buffer, 1);
  md_trace(code, "2: extid or MDS");
  bool external = false;
  if (code == MD_NAME &&
      (keyword_is(buffer, "PUBLIC") || keyword_is(buffer, "SYSTEM"))) {
    const ExternalIdRead extid = decl_extid(buffer, prolog.doctype_name, kExtDoctype);
    code = extid.next;
    if (!extid.ok) {
      md_skip(code);
      return;
    }
    const ExternalId& id = extid.id;
    std::optional<FileList> files = entity_file_generate(id);
    if (!files) {
      md_error(P146_COULD_NOT_FIND_EXTERNAL_DOCUMENT_TYPE, name_chars(prolog.doctype_name),
               nullptr);
      md_skip(code);
      return;
    }
    auto* list = static_cast<unsigned char*>(sgml_calloc(files->size() + 1));
    std::memcpy(list, files->data(), files->size());
    if (entfind(kDtdEntityName) == nullptr) {
      entdef(kDtdEntityName, ENT_DTD, list, 0);
      int32_t n = (id.public_id ? static_cast<int32_t>(id.public_id->size()) : 0) +
                  (id.system_id ? static_cast<int32_t>(id.system_id->size()) : 0);
      count_entity(n);
    }
    external = true;
    md_trace(code, "3: MDS or EMD");
    if (code != MD_DSO && code != MD_MDC) {
      md_error(P126_MDC_DELIMITER_EXPECTED, nullptr, nullptr);
      md_skip(code);
      return;
    }
  } else if (code != MD_DSO) {
    md_error(P128_PUBLIC_OR_SYSTEM_OR_DSO_REQUIRED, nullptr, nullptr);
    md_skip(code);
    return;
  }

  prolog.block = &pcb_mds;
  pcb_reset(prolog.block);
  prolog.in_subset = true;
  if (code == MD_DSO) {
    prolog.external_pending = external;
    return;
  }
  // No internal subset: the external subset is read at once and ends the
  // declaration.
  lex_engine(&pcb_mdc);  // the ">"
  if (entity_stack.level != md_state.level)
    md_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, nullptr, nullptr);
  prolog.external_only = true;
  prolog.external_open = true;
  EntityRecord* dtd = entfind(kDtdEntityName);
  if (dtd == nullptr || entopen(dtd) != ENTITY_OPENED) {
    prolog.external_open = false;
    md_doctype_end();
  }
}

void md_doctype_end() {
  if (!prolog.external_only) {
    md_begin(kKwDOCTYPE);
    md_subject(prolog.doctype_name);
    md_end(parse_md_param(md_buffer(), 1, &pcb_litp, md_buffer_size()));
  }
  prolog.block = &pcb_pro;
  pcb_reset(prolog.block);
  prolog.in_subset = false;
  prolog.external_only = false;
}
