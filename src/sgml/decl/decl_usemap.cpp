// The USEMAP declaration: the map (or "#EMPTY") of element types.
#include <cstring>
#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

void decl_usemap() {
  md_begin(kKwUSEMAP);
  unsigned char* buffer = md_buffer();
  unsigned char map_name[512];
  int code = md_param(buffer, 1);
  md_trace(code, "1: map nm");
  bool empty = false;
  if (code == MD_RNI_NAME) {
    if (!keyword_is(buffer, "EMPTY")) {
      md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, name_chars(buffer), "EMPTY");
      md_skip(code);
      return;
    }
    empty = true;
  } else if (code != MD_NAME) {
    md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
    md_skip(code);
    return;
  }
  std::memcpy(map_name, buffer, buffer[0]);
  md_subject(map_name);
  code = md_param(buffer, 1);
  md_trace(code, "2: GI or grp");
  std::vector<ElementTypeDef*> types;
  if (code == MD_MDC) {
    md_error(P28_ONE_OR_MORE_PARAMETERS_MISSING, nullptr, nullptr);
    md_skip(code);
    return;
  }
  if (!md_element_types(code, buffer, &types, false)) return;
  code = md_param(buffer, 1);
  md_end(code);
  ShortRefMap* map = nullptr;
  if (empty) {
    map = empty_map();
  } else {
    map = srmap_find(map_name);
    if (map == nullptr) map = srmap_define(map_name, 33);
  }
  for (ElementTypeDef* etd : types) {
    if (etd->map == nullptr) {
      etd->map = map;
      if (trace_on.ent) srmap_trace("USEMAP", map, name_chars(etd->name));
    } else if (sgml_switches().duplicate_warnings)
      md_error(P68_DUPLICATE_SPECIFICATION_OCCURRED_FOR_DUPLICATE_IGNORED, name_chars(etd->name),
               nullptr);
  }
}


ShortRefMap* empty_map_make() {
  static const unsigned char kName[] = "\010#EMPTY";
  if (empty_map_record == nullptr) {
    ShortRefMap* map = static_cast<ShortRefMap*>(sgml_calloc(sizeof(ShortRefMap)));
    map->name = save_name(kName);
    map->count = 33;
    map->entities = static_cast<EntityRecord**>(sgml_calloc(sizeof(EntityRecord*) * 33));
    map->entities[0] = reinterpret_cast<EntityRecord*>(map);
    empty_map_record = map;
  }
  return empty_map_record;
}
