// sgml_driver: runs pieces of the SGML parser from the command line, for
// the end-to-end tests (not installed).
//
//   sgml_driver [options] COMMAND [args] [file...]
//
// Options set what tavrel's front end sets:
//   -d          duplicate-declaration warnings (switch word 0)
//   -r          default-entity warnings (word 2)
//   -e          messages show the open entities (word 5)
//   -g          messages show the open elements (word 6)
//   -u          undefined-element warnings (word 8)
//   -p          stop after the prolog (word 25)
//   -v          verbose flag
//   -C          no name-case folding (word 18 = 0, NAMECASE GENERAL NO)
//   -K          carriage return reads as a blank
//   -R n        entity-reference echo switch
//   -i name     parameter entity defined as "INCLUDE" (repeatable)
//   -x letters  instance trace letters
//   -y letters  prolog trace letters
//   -m n        ModeOptions mode (8: filter)
//   -M          meta processing flag
//   -N name     document name
//   -S n        start position
//   -E n        end limit
//   -n name     program name for messages (default "tavrel"; "" for none)
//   -Q          keep the initial quantities and capacities (no raising)
//
// Exit status: 1 when the parser counted an error or a fatal message ended
// the run (or the command failed), 2 for a usage error, else 0.
//
// Commands (each documented at the head of its file):
//   declare     cmd_declare.cpp: the SGML declaration in effect
//   tokens      cmd_tokens.cpp: the codes of one recognition block
//   decls       cmd_decls.cpp: the markup declarations of a subset
// Further commands register themselves from their own cmd_*.cpp files, and
// may add options (driver_register_option):
//   -T name=text, -F name=file   entity_options.cpp: entities defined in the
//                                entity table before the command reads

#include <getopt.h>
#include <nl_types.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "io/vqio.h"
#include "msg/msg.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"

namespace {

std::map<std::string, DriverCommand>& registry() {
  static auto* commands = new std::map<std::string, DriverCommand>;
  return *commands;
}

// Options that commands add (driver_register_option).
struct DriverOption {
  bool (*take)(const char* argument);
  const char* usage;
  bool flag = false;  // takes no argument
};
std::map<char, DriverOption>& option_registry() {
  static auto* options = new std::map<char, DriverOption>;
  return *options;
}

[[noreturn]] void usage() {
  vqio_fprintf(vqio_stderr,
               "Usage: sgml_driver [-deguprvCKMQ] [-R n] [-i name] [-x letters] [-y letters] [-m mode]"
               " [-N name] [-S n] [-E n] [-n program] COMMAND [args]\n");
  for (const auto& [name, command] : registry()) {
    vqio_fprintf(vqio_stderr, "\t%s\n", command.usage);
  }
  for (const auto& [letter, option] : option_registry()) {
    vqio_fprintf(vqio_stderr, "\t%s\n", option.usage);
  }
  vqio_exit(2);
}

int32_t number(const char* text) { return static_cast<int32_t>(std::strtol(text, nullptr, 10)); }

}  // namespace

bool driver_register_option(char letter, bool (*take)(const char* argument), const char* usage) {
  option_registry()[letter] = DriverOption{take, usage};
  return true;
}

bool driver_register_flag(char letter, bool (*take)(const char* argument), const char* usage) {
  option_registry()[letter] = DriverOption{take, usage, true};
  return true;
}

bool driver_register(const DriverCommand& command) {
  registry()[command.name] = command;
  return true;
}

DriverOptions& driver_options() {
  static auto* options = new DriverOptions;
  return *options;
}

void driver_setup() {
  DriverOptions& o = driver_options();
  sgml_set_switches(&o.switches);
  if (!o.keep_quantities) sgml_raise_limits();
}

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  set_error_handler(print_message);
  DriverOptions& o = driver_options();
  SwitchRecord& sw = o.switches;
  ParserOptions& parser = sgml_options();
  sw.program_name = "tavrel";
  sw.catalogue = catopen("tavrl", 0);

  int c;
  opterr = 0;  // the usage line says it all
  // "+": the options end at the command, whose arguments may begin with "-".
  std::string optstring = "+deguprvCKMQR:i:x:y:m:N:S:E:n:";
  for (const auto& [letter, option] : option_registry()) {
    optstring += letter;
    if (!option.flag) optstring += ':';
  }
  while ((c = getopt(argc, argv, optstring.c_str())) != -1) {
    switch (c) {
      case 'd': sw.duplicate_warnings = 1; break;
      case 'e': sw.entity_chain = 1; break;
      case 'g': sw.open_elements = 1; break;
      case 'u': sw.undefined_elements = 1; break;
      case 'p': sw.prolog_only = 1; break;
      case 'r': sw.default_entity_warnings = 1; break;
      case 'v': parser.verbose = true; break;
      case 'C': sw.namecase = 0; break;
      case 'K': parser.carriage_return_blank = true; break;
      case 'M': sw.meta = 1; break;
      case 'Q': o.keep_quantities = true; break;
      case 'R': sw.entity_echo = number(optarg); break;
      case 'i': o.include.emplace_back(optarg); break;
      case 'x': sw.instance_trace = optarg; break;
      case 'y': sw.prolog_trace = optarg; break;
      case 'm': sw.mode = optarg; break;
      case 'N': sw.document_name = optarg; break;
      case 'S': sw.start_position = number(optarg); break;
      case 'E': sw.end_limit = number(optarg); break;
      case 'n': sw.program_name = optarg[0] != '\0' ? optarg : nullptr; break;
      default: {
        auto extra = option_registry().find(static_cast<char>(c));
        if (extra == option_registry().end() || !extra->second.take(optarg)) usage();
      }
    }
  }
  if (optind >= argc) usage();
  auto found = registry().find(argv[optind]);
  if (found == registry().end()) usage();

  for (const std::string& name : o.include) o.include_list.push_back(name.c_str());
  o.include_list.push_back(nullptr);
  sw.include_entities = o.include_list.data();
  // -m 8 selects filter input, as the region finder's filter mode does.
  parser.filter_input = sw.mode != nullptr && number(sw.mode) == 8;
  parser.documents_in_sequence = parser.filter_input || sw.meta != 0;
  parser.document_name = sw.document_name != nullptr ? sw.document_name : "";
  parser.start_position = sw.start_position;
  parser.end_limit = sw.end_limit;
  parser.echo_references = sw.entity_echo == 1;
  if (sw.namecase == 0) sgml_settings().namecase_general = 0;

  int status = found->second.run(argc - optind, argv + optind);
  vqio_fflush(vqio_stdout);
  if (error_count() > 0) status = 1;
  vqio_exit(status);
}
