// The ENTITY declaration: general, parameter and default entities with
// internal text (plain, CDATA, SDATA, PI, STARTTAG, ENDTAG, MS, MD) or an
// external identifier (text entities, data entities and subdocuments).
#include <cstring>
#include <memory>

#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"

unsigned char* entity_text_wrap(const unsigned char* text, int32_t text_len, const char* open,
                                const char* close, int32_t* out_len) {
  const size_t a = std::strlen(open);
  const size_t b = std::strlen(close);
  auto* out = static_cast<unsigned char*>(sgml_calloc(a + static_cast<size_t>(text_len) + b + 1));
  std::memcpy(out, open, a);
  if (text_len > 0) std::memcpy(out + a, text, static_cast<size_t>(text_len));
  std::memcpy(out + a + text_len, close, b);
  *out_len = static_cast<int32_t>(a + b) + text_len;
  return out;
}

namespace {

const unsigned char kDefaultName[] = "\012#DEFAULT";

int32_t extid_length(const ExternalId& id) {
  return (id.public_id ? static_cast<int32_t>(id.public_id->size()) : 0) +
         (id.system_id ? static_cast<int32_t>(id.system_id->size()) : 0);
}

}  // namespace

void decl_entity() {
  md_begin(kKwENTITY);
  unsigned char* buffer = md_buffer();
  unsigned char name[512];
  bool parameter = false;
  bool is_default = false;
  const int namelen = quantity(kNAMELEN);

  int code = md_param(buffer, 2);
  md_trace(code, "1: entity nm");
  if (code == MD_PERO) {
    code = md_param(buffer, 2);
    md_trace(code, "1: entity nm");
    if (code != MD_NAME) {
      md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
      md_skip(code);
      return;
    }
    int n = buffer[0] - 2;
    if (n >= namelen) {
      n = namelen - 1;
      md_error(P65_PARAMETER_ENTITY_NAME_LONGER_THAN_NAMELEN, nullptr, nullptr);
    }
    name[1] = '%';
    std::memcpy(name + 2, buffer + 1, static_cast<size_t>(n));
    name[2 + n] = 0;
    name[0] = static_cast<unsigned char>(n + 3);
    parameter = true;
  } else if (code == MD_RNI_NAME) {
    if (!keyword_is(buffer, "DEFAULT")) {
      md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, name_chars(buffer), "DEFAULT");
      md_skip(code);
      return;
    }
    std::memcpy(name, kDefaultName, sizeof kDefaultName);
    is_default = true;
  } else if (code == MD_NAME) {
    std::memcpy(name, buffer, buffer[0]);
  } else {
    md_error(P122_PARAMETER_MUST_BE_NAME_OR_PERO, nullptr, nullptr);
    md_skip(code);
    return;
  }
  md_subject(name);

  bool duplicate = false;
  EntityRecord* old = entfind(name);
  if (old != nullptr && old->type == ENT_PLACEHOLDER) {
    // Named by a short-reference map before its declaration: the maps
    // point to this record, which the declaration now fills.
  } else if (old != nullptr) {
    if (old->defaulted) {
      md_error(P228_EARLIER_REFERENCE_TO_ENTITY_USED_DEFAULT, name_chars(name), nullptr);
      hash_remove(sgml_tables.entities, name, hash_name(name, ENTITY_BUCKETS));
    } else {
      duplicate = true;
      if (sgml_switches().duplicate_warnings)
        md_error(P68_DUPLICATE_SPECIFICATION_OCCURRED_FOR_DUPLICATE_IGNORED, name_chars(name),
                 nullptr);
    }
  }

  int type = ENT_TEXT;
  const unsigned char* text = nullptr;
  int32_t text_len = 0;
  std::vector<unsigned char> literal;
  ExternalIdRead extid;
  bool external = false;

  code = md_param(buffer, 1);
  md_trace(code, "2: keyword");
  if (code == MD_NAME) {
    const char* reference = reserved_reference(buffer);
    if (reference && (std::strcmp(reference, "PUBLIC") == 0 ||
                      std::strcmp(reference, "SYSTEM") == 0)) {
      external = true;
      type = parameter ? ENT_PARAM : ENT_GENERAL;
      extid = decl_extid(buffer, name, parameter ? kExtParameter : kExtGeneral);
      code = extid.next;
      if (!extid.ok) {
        md_skip(code);
        return;
      }
      if (extid.data_kind) type = ENT_DATA;
    } else {
      int value = reference ? keyword_lookup(kw_entity_text, reference) : 0;
      if (value == 0) {
        md_error(P24_KEYWORD_INVALID, name_chars(buffer), nullptr);
        md_skip(code);
        return;
      }
      type = value;
      if (parameter && (value == ENT_CDATA || value == ENT_SDATA)) {
        md_error(P38_PARAMETER_ENTITY_TEXT_CANNOT_HAVE_KEYWORD, reference, nullptr);
        type = ENT_TEXT;
      }
      code = md_param(buffer, 1);
      md_trace(code, "3: literal");
      if (code != MD_LITERAL) {
        md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
        md_skip(code);
        return;
      }
    }
  } else if (code != MD_LITERAL) {
    md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
    md_skip(code);
    return;
  }
  if (!external) {
    literal.assign(buffer, buffer + md_state.length);
    code = md_param(buffer, 1);
  }
  md_end(code);
  if (duplicate) return;
  if (is_default && entity_stack.default_entity != nullptr) return;

  auto& caps = sgml_settings().capacities;
  EntityRecord* rec = nullptr;
  if (!external) {
    text = literal.data();
    text_len = static_cast<int32_t>(literal.size());
    unsigned char* wrapped = nullptr;
    switch (type) {
      case ENT_MD: wrapped = entity_text_wrap(text, text_len, "<!", ">", &text_len); break;
      case ENT_MS: wrapped = entity_text_wrap(text, text_len, "<![", "]]>", &text_len); break;
      case ENT_STARTTAG: wrapped = entity_text_wrap(text, text_len, "<", ">", &text_len); break;
      case ENT_ENDTAG: wrapped = entity_text_wrap(text, text_len, "</", ">", &text_len); break;
      default: break;
    }
    if (wrapped) text = wrapped;
    caps[kENTCAP].count += 1;
    caps[kENTCHCAP].count += text_len;
    rec = entdef(name, type, text, text_len);
    if (wrapped) sgml_free(wrapped);
  } else {
    std::optional<FileList> files;
    if (!is_default) {
      files = entity_file_generate(extid.id);
      if (!files) {
        if (parameter)
          md_error(P148_COULD_NOT_FIND_EXTERNAL_PARAMETER_ENTITY, name_chars(name) + 1, nullptr);
        else
          md_error(P147_COULD_NOT_FIND_EXTERNAL_GENERAL_ENTITY, name_chars(name), nullptr);
        return;
      }
    }
    caps[kENTCAP].count += 1;
    caps[kENTCHCAP].count += extid_length(extid.id);
    unsigned char* list = nullptr;
    if (files) {
      list = static_cast<unsigned char*>(sgml_calloc(files->size() + 1));
      std::memcpy(list, files->data(), files->size());
    }
    if (type == ENT_DATA) {
      auto* data = static_cast<DataEntity*>(sgml_calloc(sizeof(DataEntity)));
      data->files = reinterpret_cast<char*>(list);
      data->notation = extid.notation;
      data->attributes = extid.data_atts;
      data->name = save_name(name);
      data->kind = static_cast<unsigned char>(extid.data_kind);
      rec = entdef(name, ENT_DATA, reinterpret_cast<unsigned char*>(data), 0);
    } else {
      rec = entdef(name, type, list, 0);
    }
    if (is_default)
      rec->extid = sgml_parser.default_entity_ids.emplace_back(std::make_unique<ExternalId>(extid.id)).get();
  }
  if (is_default) entity_stack.default_entity = rec;
}
