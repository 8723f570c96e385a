// The run of pellion: options, data dictionary, tag name file, finding (or
// a ready -sw file), sorting into the region file, data-dictionary update.
//
// Nothing the user keeps changes before the finding has succeeded: the
// data dictionary, the tag name file and the text are read and checked
// first. The data dictionary is locked for the whole run, so a second run
// on it stops at once; under the lock, what a run that died left is
// finished or undone and removed. The new region file is written beside
// the old one and put in place together with the data dictionary that
// describes it (commit/commit.h), so the data dictionary always describes
// the bytes of its region files. Work files go on every exit (see
// workfiles.cpp).
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "addgi/addgi.h"
#include "commit/commit.h"
#include "region/region.h"
#include "tagregion/tagregion.h"

namespace {

std::string current_directory() {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

bool same_file(const char* a, const char* b) {
  struct stat sa, sb;
  return a != nullptr && b != nullptr && vqio_stat(a, &sa) == 0 && vqio_stat(b, &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The region file must not be a file the run reads: writing it would
// destroy the input.
void refuse_input_as_output(const std::string& region_file, const RegionRunOptions& o,
                            const FileInfo* files, int32_t file_count) {
  const char* rgn = region_file.c_str();
  bool clash = same_file(rgn, o.dd_name.c_str()) || same_file(rgn, o.tagname_file.c_str()) ||
               (o.has_tagpos && same_file(rgn, o.tagpos_file.c_str()));
  if (file_count > 0 && !files[0].multi_file && !files[0].fragmented)
    clash = clash || same_file(rgn, files[0].sys_name);
  if (clash) msg_report(9, 80006, rgn);
}

// The size of a plain text or a multi-file set (-1 for a fragmented text,
// whose records hold stored positions); a plain text beyond what a 32-bit
// position reaches is refused before anything changes.
int64_t text_size(const FileInfo* files, int32_t file_count) {
  if (file_count < 1) return -1;
  const FileInfo& f = files[0];
  if (f.multi_file) {
    const char* name = f.file_map != nullptr ? f.file_map : f.sys_name;
    MfsReader* set = mfs_file_open("", name, 0);
    if (set == nullptr) return -1;
    mfs_check_members(set);
    const int64_t length = mfs_file_length(set);
    mfs_file_close(set);
    return length;
  }
  if (f.fragmented || f.sys_name == nullptr) return -1;
  struct stat st;
  if (vqio_stat(f.sys_name, &st) != 0) return -1;  // reported when it is opened
  if (st.st_size > TAGPOS_MAX_POSITION + 1)
    msg_report(9, 80033, f.sys_name, static_cast<long long>(st.st_size));
  return static_cast<int64_t>(st.st_size);
}

int find_regions(const RegionRunOptions& o, const TagNameLists& lists, const FileInfo* files,
                 int32_t file_count, VqStream* out) {
  const char* tagnames = o.tagname_file.c_str();
  const char* meta = o.has_meta_file ? o.meta_file.c_str() : nullptr;
  if (o.meta && o.display_fmt)
    return md_find_displayfmt(tagnames, &lists, meta, o.display_name.c_str(), files, file_count,
                              o.dd_name.c_str(), o.trace, out);
  if (o.meta)
    return md_find_meta(tagnames, &lists, meta, files, file_count, o.dd_name.c_str(), o.trace,
                        out);
  return md_find(tagnames, &lists, files, file_count, o.dd_name.c_str(), o.trace, out);
}

}  // namespace

int pellion_run(int argc, char** argv) {
  const char* program = argv[0];
  RegionRunOptions o;
  if (region_options_parse(argc, argv, &o) != 0) region_usage(program);
  const std::string region_file =
      region_file_name(o, o.prefix_cwd ? current_directory() : std::string());
  const std::string pid = std::to_string(static_cast<long>(::getpid()));

  region_signals_install();
  struct stat st;
  if (vqio_stat(o.dd_name.c_str(), &st) != 0) msg_report(9, 80012, o.dd_name.c_str());
  if (commit_lock(o.dd_name.c_str()) != 0) msg_report(9, 80032, o.dd_name.c_str());
  if (commit_recover(o.dd_name.c_str(),
                     {commit_dir_of(commit_resolve_links(o.dd_name.c_str())),
                      commit_dir_of(region_file), ""},
                     {COMMIT_NEW_PATTERN, COMMIT_OLD_PATTERN, "tagint.%p", "tagcounts.%p"}) != 0)
    return 1;
  // A folder under the region file's name stays; nothing is written.
  if (vqio_stat(region_file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    msg_report(9, 60054, region_file.c_str());
  if (o.has_tagpos && vqio_stat(o.tagpos_file.c_str(), &st) != 0)
    msg_report(16, 80019, o.tagpos_file.c_str());

  MadNode* tree = addpadd(o.dd_name.c_str());
  if (tree == nullptr) return 1;
  char* text_name = nullptr;
  char* text_desc = nullptr;
  FileInfo* files = nullptr;
  int32_t file_count = 0;
  if (addgiti(tree, &text_name, &text_desc, &files, &file_count) == nullptr)
    msg_report(9, 40021);

  // The names are read in every mode (with -sw too: they name the regions),
  // and a bad name file stops the run before anything has changed.
  TagNameLists lists;
  if (region_load_tagnames(o.tagname_file.c_str(), &lists) != 0) {
    msg_report(16, 80014, program);
    return 1;
  }
  refuse_input_as_output(region_file, o, files, file_count);
  if (region_check_names(tree, region_file.c_str()) != 0) return 1;
  const int64_t size = text_size(files, file_count);
  if (o.has_tagpos) {
    const int32_t slots =
        lists.elements.count + lists.attributes.count + lists.tags.count;
    region_check_tagpos(o.tagpos_file, slots, o.meta && !o.display_fmt, size,
                        file_count > 0 && files[0].sys_name != nullptr ? files[0].sys_name : "");
  }

  const std::string tagpos = o.has_tagpos ? o.tagpos_file : "tagint." + pid;
  if (!o.has_tagpos) {
    if (o.verbose && o.meta && o.display_fmt)
      msg_report(1, 80025, o.display_name.c_str(), o.meta_file.c_str());
    else if (o.verbose && o.meta)
      msg_report(1, 80022, o.meta_file.c_str());
    if (o.verbose) msg_report(1, 80013);
    VqStream* out = vqio_fopen(tagpos.c_str(), "w");
    if (out == nullptr) msg_report(16, 80020, tagpos.c_str());
    region_work_file_add(tagpos);
    vqio_setvbuf(out, nullptr, VQ_IOFBF, 1 << 20);
    int failed = find_regions(o, lists, files, file_count, out);
    int error = errno;
    if (vqio_fclose(out) != 0 && !failed) msg_report(14, 80021);
    if (failed) {
      region_work_files_remove();
      errno = error;
      msg_report(16, 80014, program);
      return 1;
    }
  }

  if (o.verbose) msg_report(1, 80015, region_file.c_str());
  VqStream* positions = vqio_fopen(tagpos.c_str(), "r");
  if (positions == nullptr) msg_report(16, 80019, tagpos.c_str());
  vqio_setvbuf(positions, nullptr, VQ_IOFBF, 1 << 20);

  // Written in place only when it must be: a superfile member, or a
  // region file whose folder this run may not write.
  bool in_place = region_file_in_place(region_file.c_str());
  VqStream* region = in_place ? nullptr : region_replace_begin(region_file);
  if (region == nullptr) {
    in_place = true;
    if (vqio_stat(region_file.c_str(), &st) != 0) {
      VqStream* created = vqio_fopen(region_file.c_str(), "a");
      if (created == nullptr) msg_report(16, 80020, region_file.c_str());
      vqio_fclose(created);
    }
    region = vqio_fopen(region_file.c_str(), "r+");
    if (region == nullptr) msg_report(16, 80019, region_file.c_str());
  }

  const std::string counts = "tagcounts." + pid;
  region_work_file_add(counts);
  if (region_sort_pointers(counts.c_str(), positions, region, 0, PELLION_VERSION,
                           region_file.c_str()) != 0)
    msg_report(16, 80016, program);
  vqio_fclose(positions);
  if (in_place) {
    if (vqio_fclose(region) != 0) msg_report(14, 80021);
  } else {
    region_replace_swap(region, region_file);
  }
  int64_t base = 0;
  region_base_offset(tree, region_file.c_str(), &base);

  if (o.verbose) msg_report(1, 80017, o.dd_name.c_str());
  if (region_update_dd(tree, &lists, region_file.c_str(), counts.c_str(),
                       o.meta && !o.display_fmt) != 0)
    msg_report(16, 80018, program);
  region_work_files_remove();
  // The data dictionary and the new region file go in place together.
  int status = addutwrdd(o.dd_name.c_str(), tree);
  if (status != 0) {
    commit_abort();
    msg_report(status, 80001);
    return 1;
  }

  madmtfr(tree);
  addgi_files_free(files, file_count);
  std::free(text_name);
  std::free(text_desc);
  GetMsgText(-1);
  return 0;
}
