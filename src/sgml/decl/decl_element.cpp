// The ELEMENT declaration: element type name or name group, rank suffix,
// omitted-tag minimization, declared content or content model, exceptions.
#include <cstring>
#include <vector>

#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/entities/attlist.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

// An exception group "-(" or "+(" : the name group after the sign, as a
// null-ended copy; null when the declaration ended.
ElementTypeDef** exception_group(unsigned char* buffer) {
  std::vector<ElementTypeDef*> types;
  if (parse_name_group(&types) == 0) {
    md_skip_after_group(buffer);
    return nullptr;
  }
  types.push_back(nullptr);
  auto& caps = sgml_settings().capacities;
  caps[kEXGRPCAP].count += 1;
  caps[kEXNMCAP].count += static_cast<int32_t>(types.size()) - 1;
  return dup_word_array(types.data(), static_cast<int>(types.size()));
}

}  // namespace

void md_element() {
  md_begin(kKwELEMENT);
  unsigned char* buffer = md_buffer();
  std::vector<ElementTypeDef*> types;
  int code = md_param(buffer, 1);
  md_trace(code, "1: elem nm");
  if (!md_element_types(code, buffer, &types, true)) return;

  code = md_param(buffer, 1);
  md_trace(code, "2: rank/min");
  std::string rank;
  if (code == MD_NUMBER) {
    rank.assign(reinterpret_cast<const char*>(buffer), static_cast<size_t>(md_state.length));
    code = md_param(buffer, 1);
    md_trace(code, "3: min start");
  }

  // Minimization.
  int flags = 0;
  const bool omittag = sgml_settings().omittag != 0;
  auto is_o = [&] { return code == MD_NAME && keyword_is(buffer, "O"); };
  auto is_minus = [&] {
    return code == MD_NAME_TOKEN && md_state.length == 1 && buffer[0] == '-';
  };
  if (omittag || is_o() || is_minus()) {
    for (int i = 0; i < 2; ++i) {
      if (is_o()) {
        if (omittag) flags |= i == 0 ? ETD_START_OMIT : ETD_END_OMIT;
      } else if (!is_minus()) {
        const char* text = code == MD_NAME         ? name_chars(buffer)
                           : code == MD_NAME_TOKEN ? reinterpret_cast<const char*>(buffer)
                           : code == MD_GROUP      ? "("
                                                   : "";
        md_error(P129_MINIMIZATION_MUST_BE_OR_O_NOT, text, nullptr);
        md_skip(code);
        return;
      }
      code = md_param(buffer, 1);
      md_trace(code, i == 0 ? "4: min end" : "5: content");
    }
  }

  // Declared content or model group.
  const ContentModel* read = nullptr;
  if (code == MD_NAME) {
    const char* reference = reserved_reference(buffer);
    int value = reference ? keyword_lookup(kw_declared_content, reference) : 0;
    if (value == 0) {
      md_error(P24_KEYWORD_INVALID, name_chars(buffer), nullptr);
      md_skip(code);
      return;
    }
    if (value != CONTENT_IS_ANY) {
      if (flags & ETD_START_OMIT) {
        md_error(P58_START_TAG_MINIMIZATION_PROHIBITED_FOR_EMPTY, nullptr, nullptr);
        flags &= ~ETD_START_OMIT;
      }
      if (value == CONTENT_IS_EMPTY && !(flags & ETD_END_OMIT) && omittag) {
        md_error(P87_END_TAG_MINIMIZATION_SHOULD_BE_O, nullptr, nullptr);
        flags |= ETD_END_OMIT;
      }
    }
    read = parse_model(value);
  } else if (code == MD_GROUP) {
    read = parse_model(0);
    if (read == nullptr) {
      md_skip_after_group(buffer);
      return;
    }
  } else {
    md_error(P130_CONTENT_MODEL_OR_KEYWORD_EXPECTED, nullptr, nullptr);
    md_skip(code);
    return;
  }
  ContentModel* model = model_copy(read);
  sgml_settings().capacities[kGRPCAP].count += static_cast<int32_t>(model->count);

  // Exceptions.
  ElementTypeDef** minus = nullptr;
  ElementTypeDef** plus = nullptr;
  code = md_param(buffer, 1);
  md_trace(code, "6: exclusions");
  const bool exceptions = model->count > 0 || model->flags == CONTENT_IS_ANY;
  if (exceptions && code == MD_MINUS) {
    minus = exception_group(buffer);
    if (minus == nullptr) return;
    code = md_param(buffer, 1);
    md_trace(code, "7: inclusions");
  }
  if (exceptions && code == MD_PLUS) {
    code = md_param(buffer, 1);
    md_trace(code, "7: incl group");
    if (code != MD_GROUP) {
      md_error(P121_PARAMETER_MUST_BE_GI_OR_GROUP, nullptr, nullptr);
      md_skip(code);
      return;
    }
    plus = exception_group(buffer);
    if (plus == nullptr) return;
    code = md_param(buffer, 1);
    md_trace(code, "8: end");
  }
  md_end(code);

  const int namelen = quantity(kNAMELEN);
  for (ElementTypeDef* named : types) {
    const unsigned char* name = named->name;
    ElementTypeDef* etd = nullptr;
    if (!rank.empty()) {
      int stem = name[0] - 2;
      if (stem + static_cast<int>(rank.size()) > namelen) {
        md_error(P131_RANK_STEM_SUFFIX_MORE_THAN_NAMELEN, name_chars(name), rank.c_str());
        continue;
      }
      unsigned char ranked[512];
      std::memcpy(ranked + 1, name + 1, static_cast<size_t>(stem));
      std::memcpy(ranked + 1 + stem, rank.data(), rank.size());
      ranked[1 + stem + rank.size()] = 0;
      ranked[0] = static_cast<unsigned char>(stem + rank.size() + 2);
      // The stem leaves the table; its record stays, for the models and
      // groups that name it.
      etd_remove(name);
      etd = etd_define(ranked);
    } else {
      etd = named;
    }
    if (etd->model != nullptr) {
      md_error(P56_DUPLICATE_SPECIFICATION_OCCURRED_FOR_DUPLICATE_IGNORED, name_chars(etd->name),
               nullptr);
      continue;
    }
    etd_set(etd, static_cast<unsigned char>(flags | ETD_DECLARED), model, minus, plus, etd->map);
    sgml_settings().capacities[kELEMCAP].count += 1;
    if (etd->attributes != nullptr) attlist_element_check(etd);
    etd_trace(etd);
  }
}
