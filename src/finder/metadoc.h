// Meta documents: the SGML documents of a multi-file set that a
// meta-structure file (-M) lists, narrowed by -G to one group, parsed one
// after the other after the DTD.
#pragma once

#include <cstdint>
#include <string>

#include "io/vqio.h"

struct MfsReader;

// Reads the first record of the meta-structure file: 1 when its file-map
// text is the base path of the reader's set, else 0 (also when the file
// holds no record). filemap_next_sgml goes on with the second record.
int filemap_find(VqStream* meta, const MfsReader* reader);

// The next selected document: 1 with the name of its document element
// (empty when the record names none), its start (the data position) and
// its end limit (the trailer position minus 1); 0 at the end of the file.
// Records that are no SGML documents, of another group than -G, or that
// name an element the DTD does not declare (220022, severity 2) are
// passed over; with -v each selected one is reported (220021).
int filemap_next_sgml(VqStream* meta, std::string* element, int32_t* start, int32_t* end);

// The per-document loop of meta processing. When the document entity is a
// multi-file set and -M names a meta-structure file: opens it (message
// open_message with its name, severity 15, when it cannot be opened),
// checks that it belongs to the set (80023, severity 9, when not), and for
// each selected document resets the parser's document state, moves the
// document entity to the document's start and calls each; returns true.
// Otherwise returns false and does nothing.
bool meta_documents(int open_message, void (*each)());
