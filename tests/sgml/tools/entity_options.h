// Shared by the driver commands that read documents through the entity
// manager: the -T and -F entity definitions, opening the document entity
// from the command's file arguments, and printing text in the driver's
// escaped form.
#pragma once

#include <string>

// Records -T name=text (internal text entity) or -F name=file (external
// entity); a name beginning with "%" is a parameter entity. False when the
// argument has no "=".
bool entity_option_add(bool external, const char* argument);
// Defines the recorded entities in the entity table (after driver_setup).
void entity_options_define();
// Opens the document entity on files (argc names; "-" is standard input).
// Reports on stderr and returns false when it cannot be opened.
bool driver_open_document(int argc, char** argv);
// Text with bytes outside 32..126 written as \ooo; a backslash is written
// as \ooo too, or as "\\" when backslash_doubled.
std::string escaped(const unsigned char* text, size_t length, bool backslash_doubled = false);
// Reads the prolog of the document on files (argc names) with the
// prolog-only switch, after driver_setup and the entity options; processing
// instructions and APPINFO are passed over. False when the document cannot
// be opened.
bool driver_read_prolog(int argc, char** argv);
