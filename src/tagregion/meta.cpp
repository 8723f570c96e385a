// The meta and display-format modes of the finding: the text is a
// multi-file set whose documents a meta-structure file lists, and each
// document's data part is treated apart from its head and trailer.
//
// The set is read through a bound: a part is scanned until its last byte
// and the tokenizer then sees the end of its input, so no text run or tag
// runs into the next part (a head ending in text before a data part without
// a tag would otherwise hide the data part). Moving the bound, or seeking,
// clears the tokenizer's end flag and the byte it pushed back, so that
// positions stay exact. The meta-structure file is read twice: once to check
// every record before anything is scanned, once to walk the documents.
#include <cerrno>
#include <cstring>
#include <string>

#include "tagregion/tagregion.h"

namespace {

constexpr char kWholeDataPart[] = "VQData";

// The logical text of the set, read up to a bound.
struct BoundedSet {
  MfsReader* reader = nullptr;  // null for a set without bytes
  int64_t next = 0;             // address of the next byte
  int64_t bound = 0;            // first address not to read
  int64_t length = 0;
  bool failed = false;          // the reader gave up before the end
};

int bounded_getc(void* handle) {
  auto* set = static_cast<BoundedSet*>(handle);
  if (set->next >= set->bound) return -1;
  int c = mfs_file_getc(set->reader);
  if (c < 0) {
    set->failed = true;
    set->bound = set->next;
    return -1;
  }
  ++set->next;
  return c;
}

bool seek_to(BoundedSet* set, int64_t address) {
  if (address == set->next) return true;
  if (address < set->length && mfs_file_seek(set->reader, static_cast<int32_t>(address)) < 0)
    return false;
  set->next = address;
  return true;
}

// Scans [set->next, bound) with scan. The tokenizer forgets that its input
// had ended and any byte it held back (both belong to the part before).
// False when the text could not be read to the bound.
bool scan_part(TagScan* scan, BoundedSet* set, int64_t bound) {
  if (bound < set->next || bound > set->length) return false;
  set->bound = bound;
  scan->stream->at_end = 0;
  scan->stream->pushed_back = -1;
  scan->position = set->next + 1;
  while (tag_scan_next(scan) != SINSI_EOF) {
  }
  return !set->failed && set->next == bound && scan->position == bound + 1;
}

void clear_record(MetaStructRecord* r) { std::memset(r, 0, sizeof *r); }

bool record_is_clear(const MetaStructRecord& r) {
  MetaStructRecord empty;
  clear_record(&empty);
  return std::memcmp(&r, &empty, sizeof r) == 0;
}

void trace_record(const MetaStructRecord& r) {
  std::string line = "'";
  line += r.file;
  line += "' ";
  line += r.default_data_tag;
  line += ' ';
  line += r.display_fmt;
  line += ' ' + std::to_string(r.start) + ' ' + std::to_string(r.data_pos) + ' ' +
          std::to_string(r.trail_pos);
  msg_report(1, 80024, line.c_str());
}

bool same_set(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  std::string fa = std::string(a) + ".fmp", fb = std::string(b) + ".fmp";
  struct stat sa, sb;
  return vqio_stat(fa.c_str(), &sa) == 0 && vqio_stat(fb.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A default data tag the tag stream can look for: a name it accepts that
// holds no blank (a blank ends a tag's name, so it could never match).
bool tag_name_usable(const char* name) {
  size_t n = std::strlen(name);
  if (n == 0 || n > SINSI_MAX_NAME) return false;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == '<' || c == '/' || c == '>' || c == 0xFF || sinsi_is_blank(c)) return false;
  }
  return true;
}

// The checks of the documents of a meta-structure file, record by record.
struct MetaCheck {
  const char* meta_file;
  int64_t length;         // of the set
  int64_t last_end = -1;  // VQEnd of the document before
  int documents = 0;      // document records read
};

// Reads the next document record (cleared first): 1, or 0 at the end of
// the file. A malformed tag or a record left open (80027), positions that
// are not in order within the text and after the document before (80029)
// and a default data tag that cannot be looked for (80030) end the run.
int read_document(VqStream* meta, MetaStructRecord* r, MetaCheck* check) {
  clear_record(r);
  if (filemap_read_record(meta, r) == 0) {
    if (!vqio_feof(meta) || !record_is_clear(*r))
      msg_report(9, 80027, check->meta_file, check->documents);
    return 0;
  }
  ++check->documents;
  const int64_t start = r->start, data = r->data_pos, trail = r->trail_pos, end = r->end;
  if (!(check->last_end < start && start <= data && data <= trail && trail <= end + 1 &&
        end < check->length))
    msg_report(9, 80029, check->meta_file, check->documents, r->file, r->start, r->data_pos,
               r->trail_pos, r->end, static_cast<int>(check->length));
  if (std::strcmp(r->default_data_tag, kWholeDataPart) != 0 && r->default_data_tag[0] != '\0' &&
      !tag_name_usable(r->default_data_tag))
    msg_report(9, 80030, check->meta_file, check->documents, r->file, r->default_data_tag);
  check->last_end = end;
  return 1;
}

// One finding in a meta mode: what it was given, its open files and its
// scanners.
struct MetaRun {
  const char* tagname_file = nullptr;
  const TagNameLists* lists = nullptr;
  const char* meta_file = nullptr;
  const char* format = nullptr;  // display-format mode only
  int trace = 0;
  VqStream* meta = nullptr;
  TagText text;
  BoundedSet set;
  TagScan full;    // all names and attribute names
  TagScan single;  // the default data tag of a data part alone
  TagNameLists single_names;
  std::string single_tag;
  int matching = 0;  // documents of the format
};

void run_close(MetaRun* run) {
  if (run->full.stream != nullptr) tag_scan_close(&run->full);
  if (run->single.stream != nullptr) tag_scan_close(&run->single);
  filemap_read_reset();
  if (run->meta != nullptr) vqio_fclose(run->meta);
  tag_text_close(&run->text);
  run->meta = nullptr;
}

// Set-up of both modes: the meta-structure file open, the set open and
// described by it, every record checked (the documents of the format
// counted), the file read again from its second record, the stacks reset
// and the full scanner open. 0, or 1 after an open failure (printed) or a
// definition failure (reported).
int open_files(MetaRun* run, const FileInfo* files, int32_t file_count, const char* dd_name,
               VqStream* out) {
  const char* meta_file = run->meta_file;
  if (meta_file != nullptr) run->meta = vqio_fopen(meta_file, "r");
  if (run->meta == nullptr) {
    // -meta without a value names no file: reported as a missing one.
    int error = meta_file != nullptr ? errno : ENOENT;
    errno = error;
    vqio_perror(meta_file != nullptr ? meta_file : "-meta");
    errno = error;
    return 1;
  }
  if (files == nullptr || file_count < 1) msg_report(9, 40018, dd_name);
  if (!files[0].multi_file) msg_report(9, 75028);
  if (tag_text_open(&files[0], &run->text) != 0) return 1;
  run->set.reader = run->text.set;
  run->set.length = run->text.empty ? 0 : mfs_file_length(run->text.set);

  const char* set_name = files[0].file_map != nullptr ? files[0].file_map : files[0].sys_name;
  filemap_read_reset();
  if (!meta_check_filemap(run->meta, set_name)) msg_report(9, 80023, meta_file);
  MetaCheck check{meta_file, run->set.length};
  MetaStructRecord r;
  while (read_document(run->meta, &r, &check))
    if (run->format != nullptr && std::strcmp(r.display_fmt, run->format) == 0) ++run->matching;
  filemap_read_reset();
  vqio_rewind(run->meta);
  clear_record(&r);
  filemap_read_record(run->meta, &r);  // the file-map record, checked above

  tag_stacks_reset(run->lists, out, nullptr);
  run->full.trace = run->trace;
  run->single.trace = run->trace;
  return tag_scan_open_input(&run->full, &run->set, bounded_getc, run->lists,
                             run->tagname_file);
}

// open_files, with all closed again when it fails.
int run_open(MetaRun* run, const FileInfo* files, int32_t file_count, const char* dd_name,
             VqStream* out) {
  if (open_files(run, files, file_count, dd_name, out) == 0) return 0;
  run_close(run);
  return 1;
}

// The single-name scanner for tag, reopened only when the tag changes.
int single_scanner_for(MetaRun* run, const char* tag) {
  if (run->single.stream != nullptr && run->single_tag == tag) return 0;
  if (run->single.stream != nullptr) tag_scan_close(&run->single);
  run->single_tag = tag;
  TagNameList& e = run->single_names.elements;
  e.names.assign(1, run->single_tag);
  e.slots.assign(1, TAG_DEFAULT_DATA_SLOT);
  e.third.assign(1, static_cast<int32_t>(run->single_tag.size() + 1));
  e.count = 0;  // not an element: its tags are written as pairs at once
  return tag_scan_open_input(&run->single, &run->set, bounded_getc, &run->single_names,
                             run->tagname_file);
}

// One document of meta mode, from where the scan stands to its end.
bool meta_document(MetaRun* run, const MetaStructRecord& r) {
  BoundedSet* set = &run->set;
  if (!scan_part(&run->full, set, r.start) || !scan_part(&run->full, set, r.data_pos))
    return false;
  const char* tag = r.default_data_tag;
  if (std::strcmp(tag, kWholeDataPart) == 0) {
    // An empty data part makes no region (there is nothing to span).
    if (r.data_pos < r.trail_pos) {
      tagpos_write(TAG_DEFAULT_DATA_SLOT, static_cast<int64_t>(r.data_pos) + 1);
      tagpos_write(TAG_DEFAULT_DATA_SLOT, r.trail_pos);
    }
    if (!seek_to(set, r.trail_pos)) return false;
  } else if (tag[0] == '\0') {
    if (!seek_to(set, r.trail_pos)) return false;
  } else {
    if (single_scanner_for(run, tag) != 0) return false;
    if (!scan_part(&run->single, set, r.trail_pos)) return false;
  }
  return scan_part(&run->full, set, static_cast<int64_t>(r.end) + 1);
}

int run_finish(MetaRun* run, bool ok) {
  tag_stacks_finish();
  run_close(run);
  return ok ? 0 : 1;
}

}  // namespace

int meta_check_filemap(VqStream* meta, const char* set_name) {
  MetaStructRecord r;
  clear_record(&r);
  return filemap_read_record(meta, &r) == 1 && same_set(r.file_map, set_name) ? 1 : 0;
}

int meta_next_record(VqStream* meta, MetaStructRecord* record, int trace) {
  clear_record(record);
  if (filemap_read_record(meta, record) == 0) return 0;
  if (trace) trace_record(*record);
  return 1;
}

int meta_next_record_with_format(VqStream* meta, const char* format, MetaStructRecord* record,
                                 int trace) {
  for (;;) {
    clear_record(record);
    if (filemap_read_record(meta, record) == 0) return 0;
    if (std::strcmp(record->display_fmt, format) == 0) break;
  }
  if (trace) trace_record(*record);
  return 1;
}

int md_find_meta(const char* tagname_file, const TagNameLists* lists, const char* meta_file,
                 const FileInfo* files, int32_t file_count, const char* dd_name, int trace,
                 VqStream* out) {
  MetaRun run;
  run.tagname_file = tagname_file;
  run.lists = lists;
  run.meta_file = meta_file;
  run.trace = trace;
  if (run_open(&run, files, file_count, dd_name, out) != 0) return 1;
  MetaStructRecord r;
  bool ok = true;
  while (ok && meta_next_record(run.meta, &r, trace)) ok = meta_document(&run, r);
  ok = ok && scan_part(&run.full, &run.set, run.set.length);
  return run_finish(&run, ok);
}

int md_find_displayfmt(const char* tagname_file, const TagNameLists* lists,
                       const char* meta_file, const char* format, const FileInfo* files,
                       int32_t file_count, const char* dd_name, int trace, VqStream* out) {
  MetaRun run;
  run.tagname_file = tagname_file;
  run.lists = lists;
  run.meta_file = meta_file;
  run.format = format;
  run.trace = trace;
  if (run_open(&run, files, file_count, dd_name, out) != 0) return 1;
  if (run.matching == 0) msg_report(1, 80026, format);
  MetaStructRecord r;
  bool ok = true;
  while (ok && meta_next_record_with_format(run.meta, format, &r, trace))
    ok = seek_to(&run.set, r.data_pos) && scan_part(&run.full, &run.set, r.trail_pos);
  return run_finish(&run, ok);
}
