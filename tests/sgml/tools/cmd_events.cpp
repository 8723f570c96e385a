// events, check: pull a document's parse events to the end.
//
//   sgml_driver [options] events FILE...
//   sgml_driver [options] check FILE...
//
// events prints one line per event; check prints nothing (the messages
// and the exit status tell the result). Texts are written with "\\" for a
// backslash and "\ooo" for bytes outside 32 to 126.
//   (NAME k s l       start tag: kind, start offset and start-tag length
//                     of the new open element; then one line
//   ANAME dv f s e v  per attribute of the tag's list (group tokens
//                     skipped): declared value, flags, value offsets, value
//                     (tokens separated by blanks, IMPLIED for none)
//   )NAME k s e       end tag: kind, start and end offsets of the element closed
//   -f text           data with its flags (flag 8: the entity's name)
//   ^f                record end
//   ?f text           processing instruction
//   #text             APPINFO
//   !                 the extended call's end-of-prolog event
// Options of these commands:
//   -s    the region finder's start of a document (prolog-only switch,
//         one extended call, content set-up), then extended calls
//   -X    extended calls throughout
//   -c    after the events, one line "NAME points limit" per capacity
//   -L n  subdocument levels above the document (switch word 24)
//   -G    tags only: data and record ends passed over inside the pull
//         calls (as the region finder asks)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/vqio.h"
#include "sgml/entities/attlist.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"
#include "tools/driver.h"
#include "tools/entity_options.h"
#include "tools/pull_run.h"

namespace {

// Event text: "\\" for a backslash, \ooo for bytes outside 32..126.
std::string text_of(const unsigned char* text, size_t length) { return escaped(text, length, true); }

std::string name_of(const unsigned char* counted) {
  return counted != nullptr ? text_of(counted + 1, static_cast<size_t>(counted[0] - 2)) : "?";
}

std::string value_of(const AttributeList& a) {
  if (a.value == nullptr) return "IMPLIED";
  if (a.declared == 2) return text_of(a.value, static_cast<size_t>(a.value_length));
  std::string out;
  for (int32_t p = 0; p < a.value_length && a.value[p] >= 2;) {
    if (!out.empty()) out += ' ';
    out += name_of(a.value + p);
    p += a.value[p];
  }
  return out;
}

void print_attributes(VqStream* out, const AttributeList* list) {
  if (list == nullptr) return;
  const int32_t n = list[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    vqio_fprintf(out, "A%s %d %d %d %d %s\n", name_of(a.name).c_str(), a.declared, a.flags,
                 a.value_start, a.value_end, value_of(a).c_str());
    if (a.flags & 0x10) i += a.count;
  }
}

void print_event(VqStream* out, int code, const EventDataRecord& data, const EventTagRecord& tag) {
  switch (code) {
    case PARSE_DATA:
      if (data.flags & DATA_EXTERNAL) {
        const auto* de = reinterpret_cast<const DataEntity*>(data.text);
        vqio_fprintf(out, "-%d %s\n", data.flags, de != nullptr ? name_of(de->name).c_str() : "?");
      } else {
        vqio_fprintf(out, "-%d %s\n", data.flags,
                     text_of(data.text, static_cast<size_t>(data.length)).c_str());
      }
      break;
    case PARSE_START_TAG: {
      const OpenElement* e = open_element_at(open_element_level());
      vqio_fprintf(out, "(%s %d %d %d\n", name_of(tag.name).c_str(), tag.kind, e->start,
                   e->start_length);
      print_attributes(out, tag.attributes);
      break;
    }
    case PARSE_END_TAG: {
      const OpenElement* e = open_element_at(open_element_level() + 1);
      vqio_fprintf(out, ")%s %d %d %d\n", name_of(tag.name).c_str(), tag.kind, e->start, e->end);
      break;
    }
    case PARSE_RECORD_END:
      vqio_fprintf(out, "^%d\n", data.flags);
      break;
    case PARSE_PI:
      vqio_fprintf(out, "?%d %s\n", data.flags,
                   text_of(data.text, static_cast<size_t>(data.length)).c_str());
      break;
    case PARSE_APPINFO:
      vqio_fprintf(out, "#%s\n", text_of(data.text, static_cast<size_t>(data.length)).c_str());
      break;
    default:
      break;
  }
}

struct PullOptions {
  bool start_document = false;
  bool extended = false;
  bool capacities = false;
  bool tags_only = false;
};
PullOptions& pull_options() {
  static PullOptions o;
  return o;
}

bool take_levels(const char* argument) {
  char* end = nullptr;
  const long v = std::strtol(argument, &end, 10);
  if (end == argument || *end != '\0') return false;
  driver_options().switches.subdoc_levels = static_cast<int32_t>(v);
  return true;
}
bool take_s(const char*) { return pull_options().start_document = true; }
bool take_x(const char*) { return pull_options().extended = true; }
bool take_c(const char*) { return pull_options().capacities = true; }
bool take_g(const char*) { return pull_options().tags_only = true; }

int pull(int argc, char** argv, bool print) {
  if (argc < 2) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver %s FILE...\n", argv[0]);
    return 2;
  }
  std::string list;
  for (int i = 1; i < argc; ++i) {
    list += std::string(argv[i]) == "-" ? "vq_stdin" : argv[i];
    list += '\0';
  }
  list += '\0';
  return pull_document(list, print);
}

int run_events(int argc, char** argv) { return pull(argc, argv, true); }
int run_check(int argc, char** argv) { return pull(argc, argv, false); }

}  // namespace

int pull_document(const std::string& list, bool print) {
  const PullOptions& o = pull_options();
  driver_setup();
  entity_options_define();
  if (sgml_open_document(list.data()) != 0) {
    vqio_fprintf(vqio_stderr, "sgml_driver: cannot open the document\n");
    return 1;
  }
  const bool extended = o.extended || o.start_document;
  if (o.start_document) start_document();
  sgml_events_tags_only(o.tags_only);
  VqStream* out = vqio_stdout;
  for (;;) {
    EventDataRecord data;
    EventTagRecord tag;
    const bool before = in_prolog() != 0;
    const int code = extended ? sgml_next_event_ext(&data, &tag) : sgml_next_event(&data, &tag);
    if (code == PARSE_END) break;
    if (!print) continue;
    if (code == PARSE_PI && before && !in_prolog() && o.extended) {
      vqio_fprintf(out, "!\n");
      continue;
    }
    print_event(out, code, data, tag);
  }
  sgml_events_tags_only(false);
  CapacityReport report;
  sgml_end_capacity(&report);
  if (o.capacities) {
    for (int i = 0; i < CAPACITY_ENTRIES; ++i)
      vqio_fprintf(out, "%s %ld %d\n", report.names[i],
                   static_cast<long>(report.weights[i]) * report.counts[i], report.limits[i]);
  }
  return 0;
}

SGML_DRIVER_COMMAND("events", run_events, "events FILE...");
SGML_DRIVER_COMMAND("check", run_check, "check FILE...");
static const bool registered_flag_s =
    driver_register_flag('s', take_s, "-s     start of a document as the region finder does it (events, check)");
static const bool registered_flag_x =
    driver_register_flag('X', take_x, "-X     extended next-event calls (events, check)");
static const bool registered_flag_c =
    driver_register_flag('c', take_c, "-c     capacity lines after the events (events, check)");
static const bool registered_flag_g =
    driver_register_flag('G', take_g, "-G     tags only: no data or record-end events (events, check)");
static const bool registered_levels =
    driver_register_option('L', take_levels, "-L n   subdocument levels above the document (events, check)");
