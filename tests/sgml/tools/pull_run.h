// Pulling one document's events to the end with the options of the events
// and check commands (-s, -X, -c): shared by those commands and by the
// bad-input commands, which run it in child processes.
#pragma once

#include <string>

// Sets the parser up, opens the document entity on the NUL-separated file
// list (ended by an empty name), pulls every event (printed when print is
// set), ends the run with the capacity report. 0, or 1 when the document
// could not be opened.
int pull_document(const std::string& file_list, bool print);
