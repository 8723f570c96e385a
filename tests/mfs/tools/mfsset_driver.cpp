// Test-only driver of multi-file sets (not installed).
//
//   mfsset_driver build DD [fast]   builds the set a data dictionary's
//                                   MfsFiles entry describes
//   mfsset_driver cat BASE [VIEW]   writes the set's logical text
//                                   (VIEW 0 search, 1 display, 2 raw)
//   mfsset_driver dump BASE         writes the member table
//
// Building: the set files are made at the FileMap path; every FileGroup of
// every FilterChain is added with the chain's views, display format and
// default data tag. MfsExpand says how a group's directory is expanded:
// "1" (or "yes") descends into subdirectories, anything else takes the
// directory alone; members are always sorted by path.
#include <cstdlib>
#include <cstring>

#include "addgi/addgi.h"
#include "dd/dd.h"
#include "io/vqio.h"
#include "mfs/mfs.h"
#include "msg/msg.h"
#include "pitas/pitas.h"

namespace {

int usage() {
  vqio_fputs("usage: mfsset_driver build DD [fast] | cat BASE [VIEW] | dump BASE\n", vqio_stderr);
  return 2;
}

int build(const char* dd, bool fast) {
  MadNode* root = addpadd(dd);
  if (!root) return 1;
  char *name = nullptr, *desc = nullptr;
  FileInfo* files = nullptr;
  int32_t count = 0;
  if (!addgiti(root, &name, &desc, &files, &count) || count != 1 || !files[0].multi_file) {
    vq_report(9, GetMsgNumText(75028));
    return 1;
  }
  const FileInfo& set = files[0];
  if (!mfs_create_empty(PITAS_VERSION, "", set.file_map)) return 1;
  MfsReader* reader = mfs_file_open("", set.file_map, 0);
  if (!reader) return 1;
  for (int32_t c = 0; c < set.chain_count; ++c) {
    const FilterChainInfo& chain = set.chains[c];
    const char* lists[3] = {chain.search_view, chain.display_view, chain.raw_view};
    for (int32_t g = 0; g < chain.group_count; ++g) {
      const FileGroupInfo& group = chain.groups[g];
      const char* expand = group.mfs_expand ? group.mfs_expand : "";
      const int recursive = std::strcmp(expand, "1") == 0 || std::strcmp(expand, "yes") == 0;
      mfs_add_groups(reader, group.mfs_dir, group.mfs_file, chain.display_fmt,
                     chain.default_data_tag, lists, 1, recursive);
    }
  }
  const int ok = fast ? mfs_build_fast(reader, nullptr, PITAS_VERSION)
                      : mfs_build_full(reader, nullptr, PITAS_VERSION);
  mfs_file_close(reader);
  addgi_files_free(files, count);
  std::free(name);
  std::free(desc);
  madmtfr(root);
  return ok ? 0 : 1;
}

int cat(const char* base, int view) {
  MfsReader* reader = mfs_file_open("", base, 0);
  if (!reader) return 1;
  if (view != MFS_VIEW_SEARCH) mfs_file_set_view(reader, view);
  if (mfs_file_length(reader) > 0 && mfs_file_seek(reader, 0) < 0) return 1;
  char piece[4096];
  long n;
  while ((n = mfs_file_read(reader, piece, sizeof piece)) > 0)
    vqio_fwrite(piece, 1, static_cast<size_t>(n), vqio_stdout);
  mfs_file_close(reader);
  return 0;
}

int dump(const char* base) {
  MfsReader* reader = mfs_file_open("", base, 0);
  if (!reader) return 1;
  mfs_dump_map(reader->handle, vqio_stdout);
  mfs_file_close(reader);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  set_error_handler(print_message);
  int status = 2;
  if (argc >= 3 && std::strcmp(argv[1], "build") == 0) {
    status = build(argv[2], argc >= 4 && std::strcmp(argv[3], "fast") == 0);
  } else if (argc >= 3 && std::strcmp(argv[1], "cat") == 0) {
    status = cat(argv[2], argc >= 4 ? std::atoi(argv[3]) : MFS_VIEW_SEARCH);
  } else if (argc >= 3 && std::strcmp(argv[1], "dump") == 0) {
    status = dump(argv[2]);
  } else {
    status = usage();
  }
  vqio_exit(status);
}
