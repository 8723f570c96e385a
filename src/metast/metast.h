// Meta-structure file reader: the documents of a multi-file text, one record
// per document, read record by record.
//
// The file is tagged text with the delimiters "<", "/", ">" and these tags
// (id, tag, field of the record):
//   0 FileMap           file-map text, up to 255 characters
//   1 VQMetaStruct      encloses one record
//   2 VQFile            file name, up to 1023 characters
//   3 VQDefaultDataTag  default data tag, up to 255 characters
//   4 VQDisplayFmt      display format, up to 255 characters
//   5 VQStart           start position ("%d")
//   6 VQDataPos         position where the data part begins ("%d")
//   7 VQTrailPos        position where the trailer begins ("%d")
//   8 VQEnd             end position ("%d")
// The end tag of FileMap or of VQMetaStruct completes a record. A field
// that a record does not give keeps the value the caller's record held; a
// longer value is cut to its field (NUL-terminated).
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/vqio.h"

enum : size_t {
  META_FILE_MAP_BYTES = 256,
  META_FILE_BYTES = 1024,
  META_DATA_TAG_BYTES = 256,
  META_DISPLAY_FMT_BYTES = 256,
};

struct MetaStructRecord {
  char file_map[META_FILE_MAP_BYTES];
  char file[META_FILE_BYTES];
  char default_data_tag[META_DATA_TAG_BYTES];
  char display_fmt[META_DISPLAY_FMT_BYTES];
  int32_t start;
  int32_t data_pos;
  int32_t trail_pos;
  int32_t end;
};

// The nine tag names in id order, then null.
extern const char* const MetaStructTagNames[];

// Reads the next record of the meta-structure file on stream into record:
// 1 when a record ended, 0 at the end of the file or on any error (no
// message). The tag stream is opened on the first call and kept until the
// end of the file; a call with another stream starts that file afresh.
int filemap_read_record(VqStream* stream, MetaStructRecord* record);
// Forgets the tag stream, for a caller that stops before the end of a file.
void filemap_read_reset();
