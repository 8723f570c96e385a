// The handle of a multi-file set: opening a set from its files (with the
// checks that they still belong together), creating, writing and removing
// them, and loading one map entry at a time.
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "mfs/setstate.h"
#include "msg/msg.h"
#include "util/util.h"

namespace {

enum { BLOCK_WORDS = 128 };
enum { WORD_FMP_DATE = 0, WORD_LMP_DATE = 1, WORD_FMP_SIZE = 2, WORD_LMP_SIZE = 3,
       WORD_PAIRS = 4 };

MfsMapFileModule* module() {
  MfsState& st = mfs_state();
  if (!st.module) st.module = mfs_mapfile_module_new();
  return st.module;
}

int32_t file_date(const std::string& path) {
  struct stat info;
  if (vqio_stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int32_t>(info.st_mtime);
}

int32_t size32(off_t size) { return size < 0 || size > INT32_MAX ? -1 : static_cast<int32_t>(size); }

// Closes a stream that was written: 1, or 0 (with the message) when a write
// or the close failed.
int close_written(VqStream* stream, int ok, long message, const std::string& name) {
  if (vqio_fclose(stream) != 0) ok = 0;
  if (!ok) vq_report(16, GetMsgNumText(message), name.c_str());
  return ok;
}

// The block and the header written after the pairs of xmap.
int write_xmap_file(MfsHandle* h, const MfsXmapTable* xmap, int32_t version) {
  MfsState& st = mfs_state();
  const std::string name = mfs_set_file(h->dir, h->base, ".xmp");
  const std::string fmp = mfs_set_file(h->dir, h->base, ".fmp");
  const std::string lmp = mfs_set_file(h->dir, h->base, ".lmp");
  int32_t block[BLOCK_WORDS] = {};
  block[WORD_FMP_DATE] = file_date(fmp);
  block[WORD_LMP_DATE] = file_date(lmp);
  block[WORD_FMP_SIZE] = st.module->size(h->module_state, h->base.c_str());
  block[WORD_LMP_SIZE] = size32(file_size(lmp.c_str()));
  block[WORD_PAIRS] = xmap->count();
  VqStream* stream = vqio_fopen(name.c_str(), "w");
  if (!stream) {
    vq_report(16, GetMsgNumText(75010), name.c_str());
    return 0;
  }
  const int ok = mfs_xmap_write(xmap, stream, block, sizeof block, version);
  return close_written(stream, ok, 75010, name);
}

}  // namespace

int32_t mfs_member_count(const MfsHandle* handle) {
  const int32_t n = handle->xmap->count();
  return n < 2 ? 0 : n - 1;
}

MfsHandle* mfs_open(const char* dir, const char* base) {
  MfsState& st = mfs_state();
  auto* h = new MfsHandle;
  h->dir = dir ? dir : "";
  h->base = base ? base : "";
  h->xmap = mfs_xmap_new(5000, 5000);
  h->map = mfs_map_new(5000, 5000);
  h->filter_lists = mfs_fl_new(10, 10);
  h->filter_types = mfs_ft_new(10, 10);

  const std::string xmp = mfs_set_file(h->dir, h->base, ".xmp");
  VqStream* stream = vqio_fopen(xmp.c_str(), "r");
  if (!stream) {
    vq_report(16, GetMsgNumText(75007), xmp.c_str());
    mfs_close(h);
    return nullptr;
  }
  int32_t block[BLOCK_WORDS] = {};
  const int read_ok = mfs_xmap_read(h->xmap, stream, block, sizeof block, xmp.c_str());
  vqio_fclose(stream);
  if (!read_ok) {
    mfs_close(h);
    return nullptr;
  }
  MfsMapFileModule* m = module();
  if (st.module_state && !mfs_mapfile_has_map(st.module_state)) {
    // The state mfs_create leaves has no file map open: it is replaced.
    m->destroy(st.module_state);
    st.module_state = nullptr;
  }
  // Every handle reads its own file map through a state of its own, which
  // becomes the process-wide one; so no handle ever reads another set's
  // file map or loses its state when another handle is closed.
  h->module_state = m->init(h->base.c_str(), mfs_resolve_name, 0);
  if (!h->module_state) {
    vq_report(16, GetMsgNumText(75008), h->base.c_str());
    mfs_close(h);
    return nullptr;
  }
  st.module_state = h->module_state;
  const std::string fmp = mfs_set_file(h->dir, h->base, ".fmp");
  const std::string lmp = mfs_set_file(h->dir, h->base, ".lmp");
  long failed = 0;
  const char* failed_name = nullptr;
  if (!m->same_size(h->module_state, h->base.c_str(), block[WORD_FMP_SIZE])) {
    failed = 75019, failed_name = fmp.c_str();
  } else if (size32(file_size(lmp.c_str())) != block[WORD_LMP_SIZE]) {
    failed = 75021, failed_name = lmp.c_str();
  } else if (block[WORD_PAIRS] != h->xmap->count()) {
    failed = 75013, failed_name = xmp.c_str();
  }
  if (failed) {
    vq_report(15, GetMsgNumText(failed), failed_name);
    mfs_close(h);
    return nullptr;
  }
  h->keep_entry = 0;
  h->current_entry = nullptr;
  stream = vqio_fopen(lmp.c_str(), "r");
  if (!stream) {
    vq_report(16, GetMsgNumText(75009), lmp.c_str());
    mfs_close(h);
    return nullptr;
  }
  mfs_fl_load(h->filter_lists, stream);
  vqio_fclose(stream);
  return h;
}

void mfs_close(MfsHandle* h) {
  if (!h) return;
  MfsState& st = mfs_state();
  mfs_close_open_member();
  mfs_release_entry(h);
  if (h->module_state) {
    if (st.module) st.module->destroy(h->module_state);
    if (st.module_state == h->module_state) st.module_state = nullptr;
    h->module_state = nullptr;
  }
  st.last_entry = -1;
  st.has_meta_entry = false;
  mfs_xmap_free(h->xmap);
  mfs_map_free(h->map);
  mfs_fl_free(h->filter_lists);
  mfs_ft_free(h->filter_types);
  delete h;
}

int mfs_create(const char* dir, const char* base, int, int32_t version) {
  MfsState& st = mfs_state();
  const std::string d = dir ? dir : "", b = base ? base : "";
  MfsMapFileModule* m = module();
  if (!st.module_state) st.module_state = m->init(b.c_str(), mfs_resolve_name, 1);
  const std::string fmp = mfs_set_file(d, b, ".fmp");
  if (!st.module_state || !m->create(st.module_state, b.c_str())) {
    vq_report(16, GetMsgNumText(75002), fmp.c_str());
    return 0;
  }
  const std::string lmp = mfs_set_file(d, b, ".lmp");
  VqStream* stream = vqio_fopen(lmp.c_str(), "w");
  if (!stream || !close_written(stream, 1, 75003, lmp)) {
    if (!stream) vq_report(16, GetMsgNumText(75003), lmp.c_str());
    return 0;
  }
  const std::string xmp = mfs_set_file(d, b, ".xmp");
  int32_t block[BLOCK_WORDS] = {};
  block[WORD_FMP_DATE] = file_date(fmp);
  block[WORD_LMP_DATE] = file_date(lmp);
  block[WORD_FMP_SIZE] = m->size(st.module_state, b.c_str());
  block[WORD_LMP_SIZE] = size32(file_size(lmp.c_str()));
  block[WORD_PAIRS] = 0;
  stream = vqio_fopen(xmp.c_str(), "w");
  if (!stream) {
    vq_report(16, GetMsgNumText(75001), xmp.c_str());
    return 0;
  }
  MfsXmapTable empty;
  const int ok = mfs_xmap_write(&empty, stream, block, sizeof block, version);
  return close_written(stream, ok, 75001, xmp);
}

int mfs_destroy(const char* dir, const char* base) {
  const std::string d = dir ? dir : "", b = base ? base : "";
  const struct {
    const char* ext;
    long message;
  } files[] = {{".fmp", 75005}, {".xmp", 75004}, {".lmp", 75006}};
  int ok = 1;
  for (const auto& f : files) {
    const std::string name = mfs_set_file(d, b, f.ext);
    if (vqio_unlink(name.c_str()) != 0) {
      vq_report(16, GetMsgNumText(f.message), name.c_str());
      ok = 0;
    }
  }
  return ok;
}

int mfs_write(MfsHandle* h, int32_t version) {
  const std::string fmp = mfs_set_file(h->dir, h->base, ".fmp");
  VqStream* stream = vqio_fopen(fmp.c_str(), "w");
  if (!stream) {
    vq_report(16, GetMsgNumText(75011), fmp.c_str());
    return 0;
  }
  if (!close_written(stream, mfs_map_write(h->map, h->base.c_str(), stream), 75011, fmp)) return 0;
  const std::string lmp = mfs_set_file(h->dir, h->base, ".lmp");
  stream = vqio_fopen(lmp.c_str(), "w");
  if (!stream) {
    vq_report(16, GetMsgNumText(75012), lmp.c_str());
    return 0;
  }
  if (!close_written(stream, mfs_fl_write(h->filter_lists, stream), 75012, lmp)) return 0;
  return mfs_write_compiled_map(h, version);
}

int mfs_write_compiled_map(MfsHandle* h, int32_t version) {
  if (h->xmap->count() > 0) {
    mfs_xmap_free(h->xmap);
    h->xmap = mfs_xmap_new(5000, 5000);
  }
  const std::string fmp_name = h->base + ".fmp";
  mfs_map_read(h->xmap, h->dir.c_str(), fmp_name.c_str(), mfs_fmp_entry_offset);
  // Every entry must read back: an entry that does not parse would end the
  // set there and leave the members after it out without a word.
  const std::string fmp = mfs_set_file(h->dir, h->base, ".fmp");
  const off_t size = file_size(fmp.c_str());
  const off_t read_to = h->xmap->count() > 0 ? h->xmap->rows.back().offset : 0;
  if (size != read_to) {
    vq_report(15, GetMsgNumText(75011), fmp.c_str());
    return 0;
  }
  return write_xmap_file(h, h->xmap, version);
}

int mfs_register_formats(MfsHandle* h) {
  // The formats are appended once and only lists without a chain compiled,
  // however often a set is registered.
  return mfs_register_format_tables(h->filter_lists, h->filter_types);
}

// ---------------------------------------------------------------------------
// Entries

void mfs_release_entry(MfsHandle* h) {
  if (!h->current_entry || h->keep_entry) return;
  // Only an entry the module made is freed; a map-table row stays the table's.
  if (h->current_owned) {
    MfsState& st = mfs_state();
    st.module->check(h->module_state, h->current_entry);
    st.module->free_entry(h->module_state, h->current_entry);
  }
  h->current_entry = nullptr;
  h->current_owned = false;
}

MfsMapEntry* mfs_get_entry(MfsHandle* h, int32_t i) {
  MfsState& st = mfs_state();
  mfs_release_entry(h);
  if (i < 0 || i >= mfs_member_count(h) || !h->module_state) return nullptr;
  const MfsXmapRow& row = h->xmap->rows[static_cast<size_t>(i)];
  const int32_t next = h->xmap->rows[static_cast<size_t>(i) + 1].start;
  MfsMapEntry* entry = st.module->read_entry(h->module_state, row.offset);
  if (entry && (entry->start != row.start || entry->end != next - 1)) {
    st.module->free_entry(h->module_state, entry);
    entry = nullptr;
  }
  if (!entry) {
    // A file map whose entry does not parse, or disagrees with the compiled
    // map, was changed after the set was built.
    vq_report(15, GetMsgNumText(75019), (h->base + ".fmp").c_str());
    return nullptr;
  }
  st.last_entry = i;
  h->current_entry = entry;
  h->current_owned = true;
  const int32_t list = mfs_fl_find_id(h->filter_lists, mfs_entry_view_id(entry, h->view));
  if (list >= 0) {
    MfsStream* chain = h->filter_lists->rows[static_cast<size_t>(list)].chain;
    mfs_chain_setopt(chain, MFS_OPT_ENTRY, entry);
  }
  return entry;
}

void mfs_set_current_entry(MfsHandle* h, MfsMapEntry* entry) {
  mfs_release_entry(h);
  h->current_entry = entry;
  h->current_owned = false;  // the caller's entry stays the caller's
}

MfsMapEntry* mfs_get_current_entry(MfsHandle* h) { return h->current_entry; }

void mfs_set_view(MfsHandle* h, int view) {
  h->view = view;
  if (view != MFS_VIEW_SEARCH) mfs_state().view_start_armed = 1;
}

void mfs_set_prefix(MfsHandle* h, const char* text) {
  h->prefix = text ? text : "";
  for (char& c : h->prefix)
    if (c == '\\') c = '/';
}

void mfs_set_verbose(int flag) {
  mfs_state().progress = flag;
  mfs_state().map_verbose = flag;
}

void mfs_set_check_changed(int flag) { mfs_state().check_changed = flag; }

void mfs_dump_map(MfsHandle* h, VqStream* stream) {
  vqio_fprintf(stream, "%4s %6s %6s %-40s %2s %2s %2s %5s\n", "ID", "START", "END", "FILENAME",
               "SV", "DV", "RV", "FMT");
  for (int32_t i = 0; i < mfs_member_count(h); ++i) {
    const MfsMapEntry* e = mfs_get_entry(h, i);
    if (!e) break;
    vqio_fprintf(stream, "%4d %6d %6d %-40s %2d %2d %2d %5s\n", static_cast<int>(i),
                 static_cast<int>(e->start), static_cast<int>(e->end), e->file.c_str(),
                 static_cast<int>(e->search_view), static_cast<int>(e->display_view),
                 static_cast<int>(e->raw_view), e->display_fmt.c_str());
  }
}
