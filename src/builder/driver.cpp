// The driver of vexabld: memory budget, set-up, the index file name from the
// data dictionary, the work files, the order of the phases and clean-up.
//
// Set-up failures end the run before any work file exists: the counter
// file and the log are created only after the lock is held, the data
// dictionary, the text, the index-points file and the region set have been
// read and the index file name is known. A second builder of the same data
// dictionary therefore stops at the lock without touching the work files
// of the first.
#include <sys/times.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "addgi/addgi.h"
#include "frgac/frgac.h"
#include "builder/builder.h"
#include "builder/phases_internal.h"
#include "commit/commit.h"
#include "madat/madat.h"
#include "mfs/mfs.h"
#include "msg/msg.h"
#include "pitst/pitst.h"

BuildState& build_state() {
  static BuildState state;
  return state;
}

double addcputime() {
  struct tms t{};
  times(&t);
  const long ticks = sysconf(_SC_CLK_TCK);
  return static_cast<double>(t.tms_utime + t.tms_stime) / static_cast<double>(ticks > 0 ? ticks : 60);
}

namespace {

// Creates a file empty (opened for writing and closed); false when it
// cannot be made (errno tells why).
bool create_empty(const std::string& path) {
  VqStream* s = vqio_fopen(path.c_str(), "w");
  if (s == nullptr) return false;
  vqio_fclose(s);
  return true;
}

}  // namespace

int Initialize() {
  BuildState& st = build_state();
  st.control = new BuildControl;
  st.control->alphabet_size = 256;
  int64_t usable = st.options->memory - BUILD_RESERVED_MEMORY;
  if (usable < 0) usable = 0;
  if (usable < BUILD_MIN_USABLE) {
    vq_report(14, GetMsgNumText(100013), 500);
    return 14;
  }
  st.usable = usable;
  phases::forget_pass_texts();
  st.buffer_size = usable / 2;
  st.point_slots = usable / 8;
  st.text_buffer = static_cast<unsigned char*>(
      vq_calloc(static_cast<long>(st.buffer_size), 1, __LINE__, "builder/driver"));
  // The point half also holds the rebuilt buffer of an earlier pass while
  // skips are counted: at least buffer_size bytes.
  st.points = static_cast<int32_t*>(vq_calloc(static_cast<long>(st.buffer_size / 4 + 1),
                                              sizeof(int32_t), __LINE__, "builder/driver"));
  return 0;
}

int CreateWorkFiles() {
  BuildState& st = build_state();
  const BuildOptions* o = st.options;
  if (!lock_build_log()) return 9;
  // Until a pass is logged the files of a fresh build are of no use to a
  // restart: a run that ends before that leaves none of them.
  if (!o->restart) arm_early_cleanup();
  const std::string counter = o->int_name + ".i0";
  if (!create_empty(counter)) {
    // The report may end the program: the new log goes first.
    const int error = errno;
    if (!o->restart) vqio_unlink(o->log_file.c_str());
    errno = error;
    vq_report(16, GetMsgNumText(60006), counter.c_str());
    return 16;
  }
  if (!o->restart) {
    phases::log_append("Control %u\n", phases::rules_fingerprint());
    st.steps_logged = false;
  }
  return 0;
}

int64_t text_record_size(const FileInfo* record) {
  BuildState& st = build_state();
  int64_t size;
  const char* name = record->sys_name != nullptr ? record->sys_name : "";
  if (record->multi_file) {
    // Opened once here and kept for every pass, rebuild and restart.
    if (st.mfs == nullptr) st.mfs = mfs_file_open("", record->file_map, 0);
    if (st.mfs == nullptr) {
      vq_report(16, GetMsgNumText(60006), record->file_map != nullptr ? record->file_map : "");
      return -1;
    }
    // A member changed since the set was built would shift every point.
    mfs_check_members(st.mfs);
    size = mfs_file_length(st.mfs);
  } else if (record->fragmented) {
    FrgacText text;
    if (frgac_open(name, record->frg_dir, record->major, record->minor, 0, FRGAC_READ, &text,
                   0) != 0) {
      vq_report(15, GetMsgNumText(50000), name, record->frg_dir);
      return -1;
    }
    size = text.header[FRG_LOGICAL_LENGTH];
    frgac_close(&text);
  } else {
    struct stat sb{};
    if (vqio_stat(name, &sb) != 0) {
      vq_report(16, GetMsgNumText(60006), name);
      return -1;
    }
    size = static_cast<int64_t>(sb.st_size) + record->offset;
    st.text_stamped = true;
    st.text_file_bytes = static_cast<int64_t>(sb.st_size);
    st.text_mtime_ns =
        static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec;
    st.text_inode = static_cast<uint64_t>(sb.st_ino);
  }
  // Positions are 32-bit, and the padding after the text takes 1002 more.
  if (size > INT32_MAX - 1002) {
    vq_report(15, "The text '%s' is too large to index: %lld bytes with its offset, at most %d.",
              name, static_cast<long long>(size), INT32_MAX - 1002);
    return -1;
  }
  return size;
}

void CheckTextUnchanged() {
  const BuildState& st = build_state();
  if (!st.text_stamped || st.control == nullptr || st.control->text_count < 1) return;
  const char* sys_name = st.control->texts[0].sys_name;
  const char* name = sys_name != nullptr ? sys_name : "";
  struct stat sb{};
  if (vqio_stat(name, &sb) == 0 && static_cast<int64_t>(sb.st_size) == st.text_file_bytes &&
      static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec ==
          st.text_mtime_ns &&
      static_cast<uint64_t>(sb.st_ino) == st.text_inode) {
    return;
  }
  // The passes no longer describe the text, and a restart could not mend
  // that: the work files go.
  RemoveTempFiles();
  vq_report(15, "The text '%s' changed while it was being indexed; the index was not written.",
            name);
}

namespace {

// With -d: the region set, loaded once the text size is known. Its pairs
// are made 1-based and checked. Sorted, disjoint pairs stay as they are;
// unordered ones are put in order and overlapping or nested ones joined, so
// that the region pass can walk them forward: a position is inside the set
// exactly when it is inside one of the stored regions.
bool load_region_set(const std::string& region_name) {
  BuildState& st = build_state();
  int32_t count = 0, pairs = 0;
  std::unique_ptr<IntList, decltype(&intlist_free)> list(
      LoadDocs(st.dd_tree, region_name.c_str(), &count, &pairs, st.control, st.text_size),
      intlist_free);
  if (list == nullptr) return false;
  if (!pairs || count == 0) {
    vq_report(13, GetMsgNumText(pairs ? 100023 : 100024));
    return false;
  }
  std::vector<std::pair<int64_t, int64_t>> spans;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t start = int64_t{list->buffer[2 * i + 1]} + 1;
    const int64_t end = int64_t{list->buffer[2 * i + 2]} + 1;
    if (start < 1 || end < start || end > st.text_size + 1) {
      vq_report(13, GetMsgNumText(140000), region_name.c_str());
      return false;
    }
    spans.emplace_back(start, end);
  }
  std::sort(spans.begin(), spans.end());
  int32_t joined = 0;
  for (const auto& [start, end] : spans) {
    int32_t* w = list->buffer;
    if (joined > 0 && start <= w[2 * joined]) {
      if (end > w[2 * joined]) w[2 * joined] = static_cast<int32_t>(end);
      continue;
    }
    ++joined;
    w[2 * joined - 1] = static_cast<int32_t>(start);
    w[2 * joined] = static_cast<int32_t>(end);
  }
  list->length = 2 * joined;
  st.regions = list.release();
  st.region_count = joined;
  st.region_index = 1;
  return true;
}

}  // namespace

namespace {

// A pass holds at most its buffer less the 1001 characters kept after its
// last point. A text that needs more than a few passes at this budget is
// said so at once, with the budget that builds it in one (room for the
// text and its padding in the buffer, and a point per two characters in
// the point array); one that needs more passes than a restart can hold
// also with the budget that would need fewer.
void warn_many_passes(const FileInfo& text) {
  const BuildState& st = build_state();
  const int64_t per_pass = st.buffer_size - 1001;
  if (per_pass <= 0 || st.text_size <= 0) return;
  const int64_t passes = (st.text_size + per_pass - 1) / per_pass;
  if (passes <= BUILD_PASSES_WARNED) return;
  const char* name = text.sys_name != nullptr ? text.sys_name : "";
  const int64_t one_pass = BUILD_RESERVED_MEMORY + 4 * (st.text_size + 2048);
  vq_report(2, GetMsgNumText(100038), name, static_cast<long long>(passes),
            static_cast<long long>((one_pass + 1023) / 1024));
  if (passes <= 499) return;
  const int64_t memory = BUILD_RESERVED_MEMORY + 2 * ((st.text_size + 498) / 499 + 1001);
  vq_report(2, GetMsgNumText(100037), name, static_cast<long long>(passes),
            static_cast<long long>((memory + 1023) / 1024));
}

}  // namespace

int SetUp() {
  BuildState& st = build_state();
  BuildOptions* o = st.options;
  BuildControl* c = st.control;
  SetDefCntl(c, o->base_map);
  // The data dictionary this build writes is locked before anything is
  // read; what a build that died during its commit left is dealt with.
  const char* dd_update = o->dd_update.c_str();
  if (commit_lock(dd_update) != 0) {
    vq_report(9, GetMsgNumText(80032), dd_update);
    return 0;
  }
  if (commit_recover(dd_update, {commit_dir_of(commit_resolve_links(dd_update))},
                     {COMMIT_NEW_PATTERN, COMMIT_OLD_PATTERN}) != 0)
    return 0;
  if (o->dd_name) {
    st.lock = addgetlock(o->dd_name->c_str());
    int r = ReadDataDict(o->dd_name->c_str(), o->index_name ? o->index_name->c_str() : nullptr, c);
    if (r == 4) {
      vq_report(15, GetMsgNumText(40020));
      return 0;
    }
    if (r != 0 && r != 3) {
      vq_report(15, "");
      return 0;
    }
  }
  if (o->text_name) {
    c->texts = static_cast<FileInfo*>(vq_calloc(1, sizeof(FileInfo), __LINE__, "builder/driver"));
    c->text_count = 1;
    c->texts[0].sys_name = StrDup(o->text_name->c_str());
    c->texts[0].major = -1;
    c->texts[0].minor = -1;
    c->index_name = o->index_name.value_or(o->out_base);
    if (StopWord(c) != 0) return 0;
  }
  if (c->text_count == 0) {
    vq_report(9, GetMsgNumText(40018), o->dd_name ? o->dd_name->c_str() : "");
    return 0;
  }
  st.text_size = text_record_size(&c->texts[0]);
  if (st.text_size < 0) return 0;
  // Positions count from the record's Offset: the first byte of a plain
  // file is position Offset + 1, so the first pass starts after "pass end"
  // Offset.
  if (!o->region_name) warn_many_passes(c->texts[0]);
  const FileInfo& first = c->texts[0];
  st.pass_end = first.multi_file || first.fragmented ? 0 : static_cast<int32_t>(first.offset);
  if (o->verbose) {
    if (o->dd_name) vq_report(1, GetMsgNumText(100033), o->dd_name->c_str());
    else vq_report(1, GetMsgNumText(100031));
  }
  if (o->points_file) {
    st.points_stream = vqio_fopen(o->points_file->c_str(), "r");
    if (st.points_stream == nullptr) {
      vq_report(16, GetMsgNumText(60006), o->points_file->c_str());
      return 0;
    }
    vqio_fseek(st.points_stream, 4, SEEK_SET);
    if (o->verbose) vq_report(1, GetMsgNumText(100032), o->points_file->c_str());
  }
  if (o->region_name && !load_region_set(*o->region_name)) return 0;
  return 1;
}

int IndexNameFromDD(const char* dd_name, const char* index_name) {
  BuildState& st = build_state();
  BuildOptions* o = st.options;
  o->dd_update = dd_name;
  const MadNode* indices = madatgc(madatgc(st.dd_tree, DD_DB), DD_Indices);
  const MadNode* index = madatgc(indices, DD_Index);
  if (index_name != nullptr) {
    for (; index != nullptr; index = madatns(index, DD_Index)) {
      const char* name = madatgv(madatgc(index, DD_Name));
      if (name != nullptr && std::strcmp(name, index_name) == 0) break;
    }
  }
  const MadNode* file = madatgc(index, DD_File);
  const char* sys_name = madatgv(madatgc(file, DD_SysName));
  if (file == nullptr || sys_name == nullptr || *sys_name == '\0') {
    const char* missing = file == nullptr ? "<File>" : "<SysName>";
    if (index_name != nullptr) vq_report(3, GetMsgNumText(100011), index_name, missing);
    else vq_report(3, GetMsgNumText(100008), missing);
    return 3;
  }
  if (!o->index_file) o->index_file = sys_name;
  return 0;
}

int BuildIndex(int argc, char** argv) {
  BuildState& st = build_state();
  st.options = ReadArgsB(argc, argv);
  if (st.options == nullptr) return 1;
  BuildOptions* o = st.options;
  if (o->verbose) vq_report(1, "vexabld release 5.3");
  if (!o->dd_name && !o->text_name) return 0;
  commit_signals({SIGINT, SIGTERM, SIGHUP}, nullptr);
  if (Initialize() != 0 || !SetUp()) return 1;
  if (o->dd_name && IndexNameFromDD(o->dd_name->c_str(),
                                    o->index_name ? o->index_name->c_str() : nullptr) != 0) {
    return 1;
  }
  // New index files of builds that died before their commit.
  if (commit_recover(o->dd_update.c_str(),
                     {commit_dir_of(commit_resolve_links(o->index_file.value_or("").c_str()))},
                     {COMMIT_NEW_PATTERN, COMMIT_OLD_PATTERN}) != 0)
    return 1;
  CheckOutputsAreNotInputs();
  // A fragmented index needs a fresh fragment directory: refused before the
  // old index or any work file is touched.
  if (CheckFragmentDir() != 0) return 1;
  if (CreateWorkFiles() != 0) return 1;

  RestartState resume;
  if (o->restart) RestartFromLog(&resume);
  int pass = resume.passes;
  if (resume.phase != 2) {
    if (o->verbose) vq_report(1, GetMsgNumText(100021));
    bool rebuild = resume.phase == 1;
    bool end_of_text = false;
    do {
      int32_t count = 0;
      if (rebuild) {
        long offset = 0;
        if (st.points_stream != nullptr) offset = vqio_ftell(st.points_stream) - 4;
        RebuildPassBuffer(st.pass_start, st.pass_end, st.first_char, st.text_buffer, offset);
        count = resume.last_point_count;
        end_of_text = resume.last_pass != 0;
        rebuild = false;
      } else {
        ++pass;
        end_of_text = (o->region_name ? BuildRegionPass(pass, &count) : BuildPass(pass, &count)) != 0;
      }
      CountSkips(pass, count);
      if (o->verbose) vq_report(1, GetMsgNumText(100026), pass, addcputime());
    } while (!end_of_text);
  }
  // Phase II needs no earlier pass's text: its room goes to the pieces.
  phases::remove_pass_texts();
  if (o->verbose) vq_report(1, GetMsgNumText(100022));
  pass = FinalPass(pass, resume.finals_done);
  WriteIndex(pass);
  int status = 0;
  if (WriteDD() == 0) {
    vq_report(2, GetMsgNumText(60010), o->dd_update.c_str());
    status = 1;  // the index stays, but a failed update is not a success
  }
  RemoveTempFiles();
  CleanUp();
  return status;
}

void CleanUp() {
  BuildState& st = build_state();
  phases::forget_pass_texts();
  std::free(st.text_buffer);
  std::free(st.points);
  addfrcntl(st.control);
  delete st.options;
  madmtfr(st.dd_tree);
  if (st.points_stream != nullptr) vqio_fclose(st.points_stream);
  if (st.mfs != nullptr) mfs_file_close(st.mfs);
  intlist_free(st.regions);
  char name[32];
  std::snprintf(name, sizeof name, "/tmp/qel%d", static_cast<int>(getpid()));
  vqio_unlink(name);
  st = BuildState{};
}
