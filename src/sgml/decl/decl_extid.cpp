// External identifiers of ENTITY, NOTATION and DOCTYPE declarations:
// SYSTEM or PUBLIC with its literals, and for an external general entity
// the data kind, its notation and the data attributes.
#include <cstring>

#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

namespace {

std::string literal_text(const unsigned char* buffer) {
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(md_state.length));
}

}  // namespace

ExternalIdRead decl_extid(unsigned char* buffer, const unsigned char* name, int kind) {
  ExternalIdRead r;
  ExternalId* record = &r.id;
  record->name = name_chars(name);
  record->kind = kind;
  const int litlen = quantity(kLITLEN);
  md_trace(MD_NAME, "1: extid keyword");
  int code;
  if (keyword_is(buffer, "PUBLIC")) {
    code = parse_md_param(buffer, 1, &pcb_litv, litlen);
    md_trace(code, "2: pub ID literal");
    if (code != MD_LITERAL) {
      md_error(P117_PUBLIC_SPECIFIED_WITHOUT_PUBLIC_ID, nullptr, nullptr);
      r.next = code;
      return r;
    }
    record->public_id = literal_text(buffer);
  } else if (!keyword_is(buffer, "SYSTEM")) {
    md_error(P29_PUBLIC_OR_SYSTEM_REQUIRED, nullptr, nullptr);
    r.next = MD_NAME;
    return r;
  }
  code = parse_md_param(buffer, 1, nullptr, litlen);
  md_trace(code, "3: sys ID literal");
  if (code == MD_LITERAL) {
    record->system_id = literal_text(buffer);
    code = parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
  }
  if (kind == kExtGeneral && code == MD_NAME) {
    md_trace(code, "4: Entity type");
    const char* reference = reserved_reference(buffer);
    int value = reference ? keyword_lookup(kw_data_kind, reference) : 0;
    if (value == 0) {
      md_error(P24_KEYWORD_INVALID, name_chars(buffer), nullptr);
      r.next = code;
      return r;
    }
    if (value == DATA_KIND_SUBDOC && sgml_settings().subdoc == 0) {
      md_error(P90_KEYWORD_IS_FOR_UNSUPPORTED_FEATURE, name_chars(buffer), nullptr);
      r.next = code;
      return r;
    }
    r.data_kind = value;
    record->kind = kExtData;
    code = parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
    if (value != DATA_KIND_SUBDOC) {
      md_trace(code, "5: notation");
      if (code != MD_NAME) {
        md_error(P119_SPECIFIED_WITHOUT_NOTATION_NAME, reference, nullptr);
        r.next = code;
        return r;
      }
      r.notation = notation_define(buffer);
      r.notation->referenced = 1;
      record->notation = std::string(name_chars(buffer));
      code = parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
      if (code == MD_DSO) {
        md_trace(code, "6: [att list]");
        if (!data_attributes_read(r.notation, &r.data_atts)) {
          r.next = MD_INVALID;
          return r;
        }
        code = parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
      }
    }
  }
  if (record->public_id) {
    md_trace(code, "7: generate fpi");
    if (sgml_settings().formal) {
      if (parse_fpi(record) != FPI_OK) {
        md_error(P88_FORMAL_PUBLIC_IDENTIFIER_INVALID, record->public_id->c_str(), nullptr);
        record->form = -1;
      }
    } else {
      record->form = -1;
    }
  }
  if (trace_on.att || trace_on.ent || trace_on.dcn) {
    static const char* const kTypes[] = {"[UNDEFINED]", "CDATA", "NDATA", "SDATA", "[UNDEFINED]"};
    trace_esn(record->name.c_str(), kTypes[r.data_kind],
              record->system_id ? record->system_id->c_str() : nullptr);
  }
  r.next = code;
  r.ok = true;
  return r;
}
