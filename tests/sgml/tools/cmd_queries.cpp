// queries: the queries the region finder makes between events.
//
//   sgml_driver [options] queries FILE ENTITY...
//
// Pulls events until the first data event and prints, one per line:
// "level N NAME" for open_element_name at levels -1 to the current one
// plus one ("-" for none), "location N external line name" for
// entity_location at levels 0 to the innermost plus one ("-" past it), and
// "file line name" from current_file_location. Then for each ENTITY
// (general entity names, case kept): "info NAME r TEXT" (sgml_entity_info;
// the text of an internal CDATA or SDATA entity, the entity name of an
// external data entity) and "mark NAME a b" (two sgml_entity_mark calls).
// Last, the events are pulled to the end and three more calls are made:
// "after end c1 c2 c3".
#include <string>

#include "io/vqio.h"
#include "sgml/entities/entity.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "tools/driver.h"
#include "tools/entity_options.h"

namespace {

std::string counted_of(const char* name) {
  std::string c(1, static_cast<char>(std::string(name).size() + 2));
  c += name;
  c += '\0';
  return c;
}

int run_queries(int argc, char** argv) {
  if (argc < 2) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver queries FILE ENTITY...\n");
    return 2;
  }
  driver_setup();
  entity_options_define();
  std::string list = argv[1];
  list += '\0';
  list += '\0';
  if (sgml_open_document(list.data()) != 0) {
    vqio_fprintf(vqio_stderr, "sgml_driver: cannot open the document\n");
    return 1;
  }
  EventDataRecord data;
  EventTagRecord tag;
  int code;
  while ((code = sgml_next_event(&data, &tag)) != PARSE_END && code != PARSE_DATA) {
  }
  VqStream* out = vqio_stdout;
  int level = -1;
  for (;; ++level) {
    const char* name = open_element_name(level);
    vqio_fprintf(out, "level %d %s\n", level, name != nullptr ? name : "-");
    if (name == nullptr && level >= 0) break;
  }
  for (int l = 0;; ++l) {
    EntityLocation where{};
    if (entity_location(l, &where) == 0) {
      vqio_fprintf(out, "location %d -\n", l);
      break;
    }
    vqio_fprintf(out, "location %d %d %ld %s\n", l, where.external, where.line,
                 where.name != nullptr ? where.name : "?");
  }
  long line = 0;
  const char* file = nullptr;
  if (current_file_location(&line, &file) != 0)
    vqio_fprintf(out, "file %ld %s\n", line, file != nullptr ? file : "?");
  else
    vqio_fprintf(out, "file -\n");
  for (int i = 2; i < argc; ++i) {
    const std::string name = counted_of(argv[i]);
    const auto* counted = reinterpret_cast<const unsigned char*>(name.data());
    const EntityInfo info = sgml_entity_info(counted);
    std::string shown = "-";
    if (info.kind == EntityKind::ExternalData && info.data != nullptr) {
      const unsigned char* n = info.data->name;
      shown = n != nullptr ? reinterpret_cast<const char*>(n + 1) : "?";
    } else if ((info.kind == EntityKind::InternalCdata || info.kind == EntityKind::InternalSdata) &&
               info.text != nullptr) {
      shown = reinterpret_cast<const char*>(info.text);
    }
    vqio_fprintf(out, "info %s %d %s\n", argv[i], static_cast<int>(info.kind), shown.c_str());
    const int a = sgml_entity_mark(counted);
    const int b = sgml_entity_mark(counted);
    vqio_fprintf(out, "mark %s %d %d\n", argv[i], a, b);
  }
  while (sgml_next_event(&data, &tag) != PARSE_END) {
  }
  const int c1 = sgml_next_event(&data, &tag);
  const int c2 = sgml_next_event(&data, &tag);
  const int c3 = sgml_next_event(&data, &tag);
  vqio_fprintf(out, "after end %d %d %d\n", c1, c2, c3);
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("queries", run_queries, "queries FILE ENTITY...");
