// tavrel's command line: the switch record's defaults, the options read
// into it and into the front state, and the document entity's file list.
#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "finder/finder.h"
#include "sgml/input/docin.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

constexpr const char kOptions[] = "acdegi:lm:o:prsuvx:y:z:CD:E:G:JKM:R:S:";

// strtol's rules (base 10, text that is no number gives 0), clamped to the
// 32 bits of the switch word instead of wrapping.
int32_t number_value(const char* text) {
  errno = 0;
  long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// One option (getopt's character, its value); false for an unknown one.
bool take_option(int c, const char* value, SwitchRecord* r, std::vector<const char*>* include) {
  FrontState& f = front_state();
  switch (c) {
    case 'a': break;
    case 'c': f.capacity_report = 1; break;
    case 'd': r->duplicate_warnings = 1; break;
    case 'e': r->entity_chain = 1; break;
    case 'g': r->open_elements = 1; break;
    case 'i': include->push_back(value); break;
    case 'l': f.line_numbers = 1; break;
    case 'm': r->mode = value; break;
    case 'o': r->output_name = value; break;
    case 'p': r->prolog_only = f.prolog_only = f.suppress = 1; break;
    case 'r': r->default_entity_warnings = 1; break;
    case 's': f.suppress = 1; break;
    case 'u': r->undefined_elements = 1; break;
    case 'v': front_verbose = 1; break;
    case 'x': r->instance_trace = value; break;
    case 'y': r->prolog_trace = value; break;
    case 'z':
      f.capacity_file = value;
      f.has_capacity_file = true;
      break;
    case 'C':
      r->namecase = 0;
      sgml_settings().namecase_general = 0;
      break;
    case 'D': r->dd_name = value; break;
    case 'E': r->end_limit = number_value(value); break;
    case 'G': r->group = value; r->meta = 1; break;
    case 'J': f.merge = 1; break;
    case 'K': front_carriage_return = 1; break;
    case 'M': r->meta_file = value; r->meta = 1; break;
    case 'R': r->entity_echo = number_value(value); break;
    case 'S': r->start_position = number_value(value); break;
    default: return false;
  }
  return true;
}

}  // namespace

FrontState& front_state() {
  static FrontState* state = new FrontState;  // never destroyed: read at exit
  return *state;
}

void switch_record_init(SwitchRecord* record) {
  *record = SwitchRecord{};
  record->program_name = front_state().program_name.c_str();
  record->catalogue = front_state().catalogue;
}

int front_options_read(int argc, char** argv, SwitchRecord* record) {
  std::vector<const char*>& include = front_state().include_list;
  include.clear();
  // Options are read in getopt's order-keeping mode and file operands set
  // aside as they come, so that options after operands count whatever the
  // environment asks of getopt; the operands then follow the options.
  std::vector<char*> options{argv[0]}, operands;
  std::string optstring = std::string("+:") + kOptions;
  opterr = 0;
  optind = 0;  // a full start (glibc)
  for (;;) {
    int before = optind == 0 ? 1 : optind;
    int c = getopt(argc, argv, optstring.c_str());
    if (c == -1) {
      if (optind == before + 1 && std::strcmp(argv[before], "--") == 0) {
        // "--" ends the options: the rest are operands.
        options.push_back(argv[before]);
        for (int i = optind; i < argc; ++i) operands.push_back(argv[i]);
        break;
      }
      if (optind >= argc) break;
      operands.push_back(argv[optind]);
      ++optind;
      continue;
    }
    if (c == '?' || c == ':' || !take_option(c, optarg, record, &include)) return -1;
    for (int i = before; i < optind; ++i) options.push_back(argv[i]);
  }
  include.push_back(nullptr);
  record->include_entities = include.data();
  // argv in the order the GNU getopt would leave it: options, then operands.
  size_t at = 0;
  for (char* a : options) argv[at++] = a;
  int first_operand = static_cast<int>(at);
  for (char* a : operands) argv[at++] = a;
  return first_operand;
}

std::string doc_list_build(const SwitchRecord& record, int count, char* const* names) {
  std::string list;
  for (int i = 0; i < count; ++i) {
    list += std::strcmp(names[i], "-") == 0 ? kDocStdinName : names[i];
    list += '\0';
  }
  if (count == 0 && record.dd_name != nullptr) {
    list += record.dd_name;
    list += '\0';
  }
  list += '\0';
  return list;
}

void child_forward_options(const SwitchRecord& r) {
  FrontState& f = front_state();
  std::vector<std::string>& out = f.forwarded;
  auto flag = [&](bool on, const char* option) {
    if (on) out.emplace_back(option);
  };
  auto text = [&](const char* value, const char* option) {
    if (value == nullptr) return;
    out.emplace_back(option);
    out.emplace_back(value);
  };
  flag(f.suppress, "-s");
  flag(f.line_numbers, "-l");
  flag(r.duplicate_warnings, "-d");
  flag(r.entity_chain, "-e");
  flag(r.open_elements, "-g");
  flag(r.default_entity_warnings, "-r");
  text(r.instance_trace, "-x");
  text(r.prolog_trace, "-y");
  text(r.mode, "-m");
  flag(r.namecase == 0, "-C");
  text(r.dd_name, "-D");
  if (r.entity_echo == 0) {
    out.emplace_back("-R");
    out.emplace_back("0");
  }
}
