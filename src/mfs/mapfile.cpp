// The file map (".fmp"): one tagged entry per member, its writer and its
// parser, and the table of whole entries used while a set is built.
//
// An entry, as written (the VQDefaultDataTag line only when a data tag is
// set and not empty, the VQFields line only when the entry has fields):
//   <VQMap><VQMapID>i</VQMapID><VQStart>s</VQStart><VQEnd>e</VQEnd>
//     <VQFile>path</VQFile><VQDate>d</VQDate>
//     <VQSearchView>v</VQSearchView><VQDisplayView>v</VQDisplayView>
//     <VQRawView>v</VQRawView><VQDisplayFmt>fmt</VQDisplayFmt>
//     <VQDefaultDataTag>tag</VQDefaultDataTag>
//     <VQFields><VQSize>n</VQSize>n raw bytes</VQFields>
//     </VQMap>
// The fields are read by their byte count, so they may hold any text,
// markup included. Every number is checked when read: a value that is not a
// 32-bit number, or a VQSize below 0 or beyond the end of the file, makes
// the entry malformed.
#include <algorithm>
#include <cstring>

#include "mfs/setstate.h"
#include "util/util.h"

const char* const MapEntryTagNames[] = {
    "VQMap",        "VQMapID",     "VQStart",          "VQEnd",    "VQFile",
    "VQDate",       "VQSearchView", "VQDisplayView",   "VQRawView", "VQDisplayFmt",
    "VQDefaultDataTag", "VQFields", "VQSize",          nullptr};

namespace {

enum : int32_t {
  TAG_MAP = 0, TAG_MAP_ID, TAG_START, TAG_END, TAG_FILE, TAG_DATE, TAG_SEARCH_VIEW,
  TAG_DISPLAY_VIEW, TAG_RAW_VIEW, TAG_DISPLAY_FMT, TAG_DATA_TAG, TAG_FIELDS, TAG_SIZE,
};

// Largest piece of raw fields text taken at once: a VQSize larger than the
// file never makes a large allocation.
constexpr size_t kRawPiece = 65536;

// Reads exactly n raw bytes after the VQSize end tag: 1, or 0 when the input
// ends first.
int read_raw(SinsiStream* tags, long n, std::string* out) {
  out->clear();
  std::vector<char> piece;
  while (n > 0) {
    size_t want = static_cast<size_t>(std::min<long>(n, static_cast<long>(kRawPiece)));
    piece.resize(want + 1);
    size_t got = want;
    sinsirx(tags, piece.data(), &got);
    out->append(piece.data(), got);
    if (got < want) return 0;
    n -= static_cast<long>(got);
  }
  return 1;
}

// The next token that is not white-space text: its kind, with its id.
int next_significant(SinsiStream* tags, int32_t* id) {
  for (;;) {
    int status = 0;
    const int kind = sinsint(tags, nullptr, &status);
    if (kind == SINSI_TEXT) {
      bool blank = true;
      for (size_t i = 0; i < tags->length && blank; ++i) blank = sinsi_is_blank(tags->buffer[i]);
      if (blank) continue;
    }
    *id = sinsigt(tags, nullptr, nullptr);
    return kind;
  }
}

// <VQSize>n</VQSize> then n raw bytes, right after the VQFields start tag.
int parse_fields(SinsiStream* tags, std::string* fields) {
  int32_t id = -1;
  if (next_significant(tags, &id) != SINSI_START_TAG || id != TAG_SIZE) return 0;
  std::string text;
  int kind;
  while ((kind = sinsint(tags, nullptr, nullptr)) == SINSI_TEXT) mfs_tag_append_text(tags, &text);
  if (kind != SINSI_END_TAG || sinsigt(tags, nullptr, nullptr) != TAG_SIZE) return 0;
  int32_t n = 0;
  if (!mfs_parse_int32(text, &n) || n < 0) return 0;
  return read_raw(tags, n, fields);
}

// Stores an element's text in the entry: 1, or 0 for a bad number.
int store_value(MfsMapEntry* entry, int32_t id, const std::string& text) {
  int32_t* number = nullptr;
  switch (id) {
    case TAG_START: number = &entry->start; break;
    case TAG_END: number = &entry->end; break;
    case TAG_DATE: number = &entry->date; break;
    case TAG_SEARCH_VIEW: number = &entry->search_view; break;
    case TAG_DISPLAY_VIEW: number = &entry->display_view; break;
    case TAG_RAW_VIEW: number = &entry->raw_view; break;
    case TAG_FILE: entry->file = text; return 1;
    case TAG_DISPLAY_FMT: entry->display_fmt = text; return 1;
    case TAG_DATA_TAG:
      entry->has_data_tag = true;
      entry->default_data_tag = text;
      return 1;
    default: return 1;  // VQMapID is read over
  }
  return mfs_parse_int32(text, number);
}

int parse_entry(SinsiStream* tags, MfsMapEntry* entry) {
  int32_t field = -1;  // element whose text is being gathered
  std::string text;
  for (;;) {
    int status = 0;
    const int kind = sinsint(tags, nullptr, &status);
    const int32_t id = sinsigt(tags, nullptr, nullptr);
    switch (kind) {
      case SINSI_EOF:
        return -1;
      case SINSI_MALFORMED:
        return 0;
      case SINSI_TEXT:
        if (field >= 0) mfs_tag_append_text(tags, &text);
        break;
      case SINSI_START_TAG:
        if (id == TAG_FIELDS) {
          if (!parse_fields(tags, &entry->fields)) return 0;
          entry->has_fields = true;
          field = -1;
        } else if (id == TAG_MAP) {
          field = -1;
        } else {
          field = id;
          text.clear();
        }
        break;
      case SINSI_END_TAG:
        if (id == TAG_MAP) return 1;
        if (id == field && !store_value(entry, field, text)) return 0;
        field = -1;
        break;
      default:  // tags that are not in the table are passed over
        break;
    }
  }
}

}  // namespace

int32_t mfs_entry_view_id(const MfsMapEntry* entry, int view) {
  switch (view) {
    case MFS_VIEW_SEARCH: return entry->search_view;
    case MFS_VIEW_DISPLAY: return entry->display_view;
    case MFS_VIEW_RAW: return entry->raw_view;
    default: return -1;
  }
}

int mfs_parse_map_file_entry(VqStream* stream, MfsMapEntry* entry, std::string* name) {
  MfsTags tags = mfs_tag_open(stream, MapEntryTagNames);
  if (!tags) return 0;
  *entry = MfsMapEntry{};
  if (parse_entry(tags.get(), entry) != 1) return 0;  // the end, or a malformed entry
  if (name) *name = entry->file;
  return 1;
}

int mfs_map_write_entry(VqStream* s, int32_t i, const MfsMapEntry* e) {
  int bad = 0;
  bad |= vqio_fprintf(s, "<VQMap><VQMapID>%d</VQMapID><VQStart>%ld</VQStart><VQEnd>%ld</VQEnd>\n",
                      static_cast<int>(i), static_cast<long>(e->start),
                      static_cast<long>(e->end)) < 0;
  bad |= vqio_fprintf(s, "  <VQFile>%s</VQFile><VQDate>%ld</VQDate>\n", e->file.c_str(),
                      static_cast<long>(e->date)) < 0;
  bad |= vqio_fprintf(s, "  <VQSearchView>%ld</VQSearchView><VQDisplayView>%ld</VQDisplayView>\n",
                      static_cast<long>(e->search_view), static_cast<long>(e->display_view)) < 0;
  bad |= vqio_fprintf(s, "  <VQRawView>%ld</VQRawView><VQDisplayFmt>%s</VQDisplayFmt>\n",
                      static_cast<long>(e->raw_view), e->display_fmt.c_str()) < 0;
  if (e->has_data_tag && !e->default_data_tag.empty())
    bad |= vqio_fprintf(s, "  <VQDefaultDataTag>%s</VQDefaultDataTag>\n",
                        e->default_data_tag.c_str()) < 0;
  if (e->has_fields) {
    bad |= vqio_fprintf(s, "  <VQFields><VQSize>%d</VQSize>",
                        static_cast<int>(e->fields.size())) < 0;
    bad |= vqio_fwrite(e->fields.data(), 1, e->fields.size(), s) != e->fields.size();
    bad |= vqio_fputs("</VQFields>\n", s) < 0;
  }
  bad |= vqio_fputs("  </VQMap>\n", s) < 0;
  return bad ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The map table

MfsMapTable* mfs_map_new(int32_t capacity, int32_t step) {
  return mfs_table_new<MfsMapEntry>(capacity, step, __LINE__, "mfsmap");
}

void mfs_map_free(MfsMapTable* table) { delete table; }

int mfs_map_load(MfsMapTable* map, VqStream* stream) {
  MfsMapEntry entry;
  // Each row owns copies of its texts, so no row shares the parse buffers.
  while (mfs_parse_map_file_entry(stream, &entry, nullptr) == 1) map->rows.push_back(entry);
  return 1;
}

int mfs_map_write(MfsMapTable* map, const char* base, VqStream* stream) {
  MfsUserDataIndex* index = nullptr;
  VqStream* dat = nullptr;
  const std::string dat_name = std::string(base) + ".dat";
  if (map->count() > 0) {
    index = mfs_usrdata_new(10, 10);
    if (mfs_usrdata_load(index, "", dat_name.c_str(), mfs_usrdata_read_record))
      dat = vqio_fopen(dat_name.c_str(), "r");
  }
  int ok = 1;
  for (int32_t i = 0; i < map->count(); ++i) {
    MfsMapEntry& e = map->rows[static_cast<size_t>(i)];
    e.has_fields = false;
    e.fields.clear();
    const int32_t row = dat ? mfs_usrdata_find(index, e.file.c_str()) : -1;
    // Each member's fields are its own: the buffer is emptied before a fetch.
    if (row >= 0 && mfs_usrdata_fetch(dat, index, row, &e.fields)) e.has_fields = true;
    if (!mfs_map_write_entry(stream, i, &e)) ok = 0;
  }
  if (dat) vqio_fclose(dat);
  mfs_usrdata_free(index);
  return ok;
}

int mfs_fmp_entry_offset(VqStream* stream, int32_t* start, int32_t* offset) {
  // The offset is that of the entry's first tag: white space between
  // entries is passed over first, so the last call notes the file's size.
  int c;
  while ((c = vqio_getc(stream)) != -1 && sinsi_is_blank(c)) {
  }
  if (c != -1) vqio_ungetc(c, stream);
  const long here = vqio_ftell(stream);
  *offset = here > INT32_MAX ? -1 : static_cast<int32_t>(here);
  int32_t& last_end = mfs_state().fmp_last_end;
  if (here == 0) last_end = -1;
  MfsMapEntry entry;
  if (mfs_parse_map_file_entry(stream, &entry, nullptr) != 1) {
    *start = last_end + 1;
    return 0;
  }
  last_end = entry.end;
  *start = entry.start;
  return 1;
}

int mfs_map_read(MfsXmapTable* table, const char* dir, const char* name,
                 MfsMapReadCallback callback) {
  const std::string path = (dir && *dir) ? std::string(dir) + "/" + name : std::string(name);
  VqStream* stream = vqio_fopen(path.c_str(), "r");
  if (!stream) return 0;
  int32_t start = 0, offset = 0;
  bool any = false;
  while (callback(stream, &start, &offset) == 1) {
    table->rows.push_back({start, offset});
    any = true;
  }
  if (any) table->rows.push_back({start, offset});
  vqio_fclose(stream);
  return 1;
}

int mfs_map_locate(const MfsMapTable* map, int32_t address, const char** file,
                   int32_t* offset) {
  int32_t lo = 0, hi = map->count() - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    const MfsMapEntry& e = map->rows[static_cast<size_t>(mid)];
    if (address < e.start) {
      hi = mid - 1;
    } else if (address > e.end) {
      lo = mid + 1;
    } else {
      *file = e.file.c_str();
      *offset = address - e.start;
      return 1;
    }
  }
  return 0;
}

int32_t mfs_map_index_name(const MfsMapTable* map, const char* name) {
  for (int32_t i = 0; i < map->count(); ++i)
    if (map->rows[static_cast<size_t>(i)].file == name) return i;
  return -1;
}

MfsMapEntry* mfs_map_find_name(MfsMapTable* map, const char* name) {
  const int32_t i = mfs_map_index_name(map, name);
  return i < 0 ? nullptr : &map->rows[static_cast<size_t>(i)];
}

int32_t mfs_map_bsearch_name(const MfsMapTable* map, const char* name) {
  int32_t lo = 0, hi = map->count() - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int c = std::strcmp(map->rows[static_cast<size_t>(mid)].file.c_str(), name);
    if (c == 0) return mid;
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return -1;
}
