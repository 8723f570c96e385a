// The parser's test driver: shared option state and the command registry.
//
// A command lives in its own file and registers itself:
//     static int run_tokens(int argc, char** argv) { ... }
//     SGML_DRIVER_COMMAND("tokens", run_tokens, "tokens FILE...");
// run gets the command's own arguments (argv[0] is the command name) after
// the driver's options have been read into driver_options(). It returns the
// exit status it wants (0 or 1); the driver exits 1 anyway when the parser
// counted an error.
#pragma once

#include <string>
#include <vector>

#include "sgml/options.h"
#include "sgml/switches.h"

struct DriverCommand {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;  // one line: the command and its arguments
};

// Adds an option letter that takes an argument, for the commands that need
// more options than the front end's; take returns false for a bad
// argument (a usage error). Returns true (for static registration).
bool driver_register_option(char letter, bool (*take)(const char* argument), const char* usage);

// The same for an option letter without an argument (take gets null).
bool driver_register_flag(char letter, bool (*take)(const char* argument), const char* usage);

// Adds a command; returns true (for static registration).
bool driver_register(const DriverCommand& command);

#define SGML_DRIVER_COMMAND(name, run, usage) \
  static const bool registered_##run = driver_register(DriverCommand{name, run, usage})

struct DriverOptions {
  SwitchRecord switches;            // as the front end fills it
  std::vector<std::string> include; // -i names
  std::vector<const char*> include_list;  // null-terminated, for the switch record
  bool keep_quantities = false;     // -Q
};
DriverOptions& driver_options();

// Sets the parser up from the options as the region finder will:
// sgml_set_switches, then (unless -Q) sgml_raise_limits.
void driver_setup();
