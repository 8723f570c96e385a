// The NOTATION declaration: a notation name and its external identifier,
// whose lookup gives the notation's identifier list.
#include <cstring>

#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

void decl_notation() {
  md_begin(kKwNOTATION);
  unsigned char* buffer = md_buffer();
  unsigned char name[512];
  int code = md_param(buffer, 1);
  md_trace(code, "1: name");
  if (code != MD_NAME) {
    md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
    md_skip(code);
    return;
  }
  std::memcpy(name, buffer, buffer[0]);
  md_subject(name);
  code = md_param(buffer, 1);
  md_trace(code, "2: extid");
  if (code != MD_NAME || !(keyword_is(buffer, "PUBLIC") || keyword_is(buffer, "SYSTEM"))) {
    md_error(P29_PUBLIC_OR_SYSTEM_REQUIRED, nullptr, nullptr);
    md_skip(code);
    return;
  }
  const ExternalIdRead extid = decl_extid(buffer, name, kExtNotation);
  code = extid.next;
  if (!extid.ok) {
    md_skip(code);
    return;
  }
  const ExternalId& id = extid.id;
  std::optional<FileList> files = entity_file_generate(id);
  if (!files) md_error(P149_COULD_NOT_FIND_EXTERNAL_NOTATION, name_chars(name), nullptr);
  md_end(code);
  NotationRecord* n = notation_find(name);
  if (n != nullptr && n->identifiers != nullptr) {
    md_error(P56_DUPLICATE_SPECIFICATION_OCCURRED_FOR_DUPLICATE_IGNORED, name_chars(name), nullptr);
    return;
  }
  n = notation_define(name);
  // Declared: the identifier list is set (empty when nothing was found).
  std::string list = files ? *files : std::string(1, '\0');
  n->identifiers = static_cast<char*>(sgml_calloc(list.size() + 1));
  std::memcpy(n->identifiers, list.data(), list.size());
  auto& caps = sgml_settings().capacities;
  caps[kNOTCAP].count += 1;
  if (trace_on.dcn) trace_dcn(n, n->attributes, name_chars(n->name), n->identifiers);
  caps[kNOTCHCAP].count += (id.public_id ? static_cast<int32_t>(id.public_id->size()) : 0) +
                           (id.system_id ? static_cast<int32_t>(id.system_id->size()) : 0);
}
