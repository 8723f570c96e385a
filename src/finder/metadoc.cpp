// Meta documents: the SGML documents of a multi-file set that a
// meta-structure file lists (-M), optionally narrowed to one group (-G),
// and the loop that parses each of them in turn after the one DTD.
//
// A record describes an SGML document when the first field of its display
// format (split on blanks and commas, '"' quoting) is exactly "sgml"; the
// second field is its group, the third the name of its document element.
// The document runs from its data position up to the end limit, its
// trailer position minus 1.
#include <cstdio>
#include <cstring>
#include <vector>

#include "finder/dtdreport.h"
#include "finder/finder.h"
#include "finder/metadoc.h"
#include "metast/metast.h"
#include "mfs/mfs.h"
#include "sgml/sgml.h"
#include "util/util.h"

namespace {

// The record read last: a field that a record does not give keeps the
// value the previous record gave.
MetaStructRecord& meta_record() {
  static MetaStructRecord record{};
  return record;
}

// One line of the verbose report of a selected document.
void report_selected(const MetaStructRecord& r, const char* group, const char* element,
                     int32_t start, int32_t end) {
  char text[META_FILE_BYTES + 2 * META_DISPLAY_FMT_BYTES + 64];
  if (group != nullptr && element != nullptr) {
    std::snprintf(text, sizeof text, "file='%s' %s '%s' %ld %ld", r.file, group, element,
                  static_cast<long>(start), static_cast<long>(end));
  } else if (group != nullptr) {
    std::snprintf(text, sizeof text, "file='%s' %s -- %ld %ld", r.file, group,
                  static_cast<long>(start), static_cast<long>(end));
  } else {
    std::snprintf(text, sizeof text, "file='%s' -- -- %ld %ld", r.file, static_cast<long>(start),
                  static_cast<long>(end));
  }
  vq_report(1, GetMsgNumText(220021), text);
  vqio_fflush(vqio_stderr);
}

}  // namespace

int filemap_find(VqStream* meta, const MfsReader* reader) {
  MetaStructRecord& r = meta_record();
  if (filemap_read_record(meta, &r) != 1) return 0;
  return reader != nullptr && reader->handle != nullptr && reader->handle->base == r.file_map;
}

int filemap_next_sgml(VqStream* meta, std::string* element, int32_t* start, int32_t* end) {
  MetaStructRecord& r = meta_record();
  const ModeOptions* o = mode_options;
  const bool verbose = front_state().verbose != 0;
  while (filemap_read_record(meta, &r) == 1) {
    char format[META_DISPLAY_FMT_BYTES];
    std::memcpy(format, r.display_fmt, sizeof format);
    format[sizeof format - 1] = '\0';
    std::vector<char*> fields;
    split_fields(format, " ,", "\"", nullptr, fields);
    if (fields.empty() || std::strcmp(fields[0], "sgml") != 0) continue;
    const char* group = fields.size() >= 2 ? fields[1] : nullptr;
    const char* name = fields.size() >= 3 ? fields[2] : nullptr;
    if (group != nullptr && o != nullptr && !o->group.empty() && o->group != group) continue;
    if (name != nullptr && !element_exists(name)) {
      vq_report(2, GetMsgNumText(220022), r.file, name);
      continue;
    }
    element->assign(name != nullptr ? name : "");
    *start = r.data_pos;
    *end = r.trail_pos - 1;
    if (verbose) report_selected(r, group, name, *start, *end);
    return 1;
  }
  return 0;
}

bool meta_documents(int open_message, void (*each)()) {
  MfsReader* reader = nullptr;
  const ModeOptions& o = *mode_options;
  ParserOptions& p = sgml_options();
  if (o.meta_file.empty() || !cur_mfs_reader(&reader)) return false;
  VqStream* meta = vqio_fopen(o.meta_file.c_str(), "r");
  if (meta == nullptr) vq_report(15, GetMsgNumText(open_message), o.meta_file.c_str());
  filemap_read_reset();
  if (!filemap_find(meta, reader)) {
    vqio_fclose(meta);
    vq_report(9, GetMsgNumText(80023), o.meta_file.c_str());
  } else {
    while (filemap_next_sgml(meta, &p.document_name, &p.start_position, &p.end_limit)) {
      reset_doc_state();
      // A data position outside the set gives no document.
      if (document_seek(p.start_position) != 0) continue;
      each();
    }
  }
  filemap_read_reset();
  vqio_fclose(meta);
  return true;
}
