// The SGML declaration at the head of a document entity: its parameters
// are read through the lexical engine's SD block and change the settings
// of settings.h (character set, capacities, concrete syntax, features) and
// the lexical class tables.
#pragma once

// Parses the SGML declaration; called right after "<!SGML" has been read.
// Returns 1 when the APPINFO parameter was a literal (its text stays in
// token_buffer(), NUL-terminated), else 0. The end of the input inside the
// declaration ends the run (P161). After a failed section the rest of the
// declaration is left unread for the prolog.
int sgml_declaration();
