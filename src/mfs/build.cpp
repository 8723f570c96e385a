// Building a set: file groups are expanded into member entries, members are
// sorted by path and given logical addresses by reading them through their
// search-view chains (full mode) or from their sizes (fast mode), and the
// set's files are written.
//
// Entries own their texts, so no string area sized by an earlier pass can
// be overrun. A directory already on the path being expanded (a loop made
// by a symbolic link) is not entered again; one reached by two different
// links is expanded each time. A member that cannot be read gets length 0
// and a message, in either mode.
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "mfs/setstate.h"
#include "msg/msg.h"
#include "util/util.h"

namespace {

constexpr long kMeg = 1048576;

struct DirId {
  dev_t dev;
  ino_t ino;
};

// The regular files matching pattern and the subdirectories of dir, in the
// order the directory gives them.
struct Listing {
  std::vector<std::pair<std::string, struct stat>> files, dirs;
};

bool list_directory(const std::string& dir, const char* pattern, Listing* out) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  while (const struct dirent* ent = readdir(d)) {
    if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
    const std::string path = dir + "/" + ent->d_name;
    struct stat info;
    if (vqio_stat(path.c_str(), &info) != 0) continue;
    if (S_ISREG(info.st_mode) && wild_match(pattern, ent->d_name)) {
      out->files.push_back({path, info});
    } else if (S_ISDIR(info.st_mode)) {
      out->dirs.push_back({path, info});
    }
  }
  closedir(d);
  return true;
}

bool on_path(const std::vector<DirId>& path, const struct stat& info) {
  for (const DirId& id : path)
    if (id.dev == info.st_dev && id.ino == info.st_ino) return true;
  return false;
}

std::string member_name(const std::string& path, const char* prefix) {
  std::string name = (prefix ? std::string(prefix) : std::string()) + path;
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

struct Group {
  const char* pattern;
  const char* display_fmt;
  const char* default_data_tag;
  const int32_t* view_ids;
  int recursive;
  const char* prefix;
};

int expand(MfsMapTable* map, const std::string& dir, const Group& g, std::vector<DirId>* path) {
  Listing listing;
  if (!list_directory(dir, g.pattern, &listing)) {
    vq_report(1, GetMsgNumText(60004), dir.c_str());
    return 0;
  }
  if (mfs_state().map_verbose) vq_report(1, GetMsgNumText(75018), dir.c_str());
  int found = 0;
  for (const auto& [file, info] : listing.files) {
    MfsMapEntry e;
    e.file = member_name(file, g.prefix);
    if (e.file.find('<') != std::string::npos) {
      // A name with a tag opener cannot be stored in the tagged file map.
      vq_report(1, GetMsgNumText(75047), e.file.c_str());
      continue;
    }
    e.date = static_cast<int32_t>(info.st_mtime);
    e.search_view = g.view_ids[0];
    e.display_view = g.view_ids[1];
    e.raw_view = g.view_ids[2];
    e.display_fmt = g.display_fmt ? g.display_fmt : "";
    e.has_data_tag = g.default_data_tag != nullptr;
    if (g.default_data_tag) e.default_data_tag = g.default_data_tag;
    map->rows.push_back(std::move(e));
    found = 1;
  }
  if (g.recursive) {
    for (const auto& [sub, info] : listing.dirs) {
      if (on_path(*path, info)) continue;  // a loop back to an enclosing directory
      path->push_back({info.st_dev, info.st_ino});
      if (expand(map, sub, g, path)) found = 1;
      path->pop_back();
    }
  }
  return found;
}

void size_pass(const std::string& dir, const Group& g, std::vector<DirId>* path, long* size) {
  Listing listing;
  if (!list_directory(dir, g.pattern, &listing)) return;
  if (mfs_state().map_verbose) vq_report(1, GetMsgNumText(75016), dir.c_str());
  for (const auto& entry : listing.files) {
    *size += static_cast<long>(member_name(entry.first, g.prefix).size()) + 1;
    *size += static_cast<long>(std::strlen(g.display_fmt ? g.display_fmt : "")) + 1;
    if (g.default_data_tag) *size += static_cast<long>(std::strlen(g.default_data_tag)) + 1;
  }
  if (!g.recursive) return;
  for (const auto& [sub, info] : listing.dirs) {
    if (on_path(*path, info)) continue;
    path->push_back({info.st_dev, info.st_ino});
    size_pass(sub, g, path, size);
    path->pop_back();
  }
}

std::vector<DirId> start_path(const char* dir) {
  std::vector<DirId> path;
  struct stat info;
  if (vqio_stat(dir, &info) == 0) path.push_back({info.st_dev, info.st_ino});
  return path;
}

// The outermost stream of the chain of a filter list id, or null.
MfsStream* list_chain(MfsHandle* h, int32_t id) {
  const int32_t row = mfs_fl_find_id(h->filter_lists, id);
  return row < 0 ? nullptr : h->filter_lists->rows[static_cast<size_t>(row)].chain;
}

struct Progress {
  bool on;
  long step;
  long long next;
};

void report_progress(Progress* p, long long total, bool once) {
  if (!p->on || total < p->next) return;
  vq_report(1, GetMsgNumText(75014), static_cast<double>(total) / kMeg);
  if (once) {
    while (p->next <= total) p->next += p->step;
  } else {
    p->next += kMeg;
  }
}

// Reads the member through its chain: its length, or -1 when the chain
// fails (reported at severity 1).
long long measure(MfsStream* chain, const MfsMapEntry& e, VqStream* out, Progress* progress,
                  long long* total) {
  if (mfs_chain_open(chain, e.file.c_str()) == -1 || chain->span(chain, 0, 1024, 1024) == -1) {
    vq_report(1, GetMsgNumText(75047), e.file.c_str());
    mfs_chain_close(chain);
    return -1;
  }
  long long length = 0;
  unsigned char piece[1024];
  long n;
  while ((n = chain->read(chain, piece, sizeof piece)) > 0) {
    length += n;
    *total += n;
    if (out) vqio_fwrite(piece, 1, static_cast<size_t>(n), out);
    report_progress(progress, *total, false);
  }
  report_progress(progress, *total, false);
  // A chain that failed while it was read (a shell command, a read error).
  if (chain->get_status(chain) != MFS_STATUS_OK) vq_report(1, GetMsgNumText(75047), e.file.c_str());
  mfs_chain_close(chain);
  return length;
}

}  // namespace

int mfs_size_directory(const char* dir, const char* pattern, const char* display_fmt,
                       const char* default_data_tag, int recursive, const char* prefix,
                       long* size) {
  const Group g{pattern, display_fmt, default_data_tag, nullptr, recursive, prefix};
  if (!dir) return 0;
  DIR* d = opendir(dir);
  if (!d) return 0;
  closedir(d);
  std::vector<DirId> path = start_path(dir);
  size_pass(dir, g, &path, size);
  return 1;
}

int mfs_expand_directory(MfsMapTable* map, const char* dir, const char* pattern,
                         const char* display_fmt, const char* default_data_tag,
                         const int32_t view_ids[3], int sort, int recursive,
                         const char* prefix) {
  const Group g{pattern, display_fmt, default_data_tag, view_ids, recursive, prefix};
  std::vector<DirId> path = start_path(dir);
  const int found = expand(map, dir, g, &path);
  // Sorted once, after the whole tree (the same result as after every level).
  if (sort && map->count() > 0) {
    std::stable_sort(map->rows.begin(), map->rows.end(),
                     [](const MfsMapEntry& a, const MfsMapEntry& b) {
                       return std::strcmp(a.file.c_str(), b.file.c_str()) < 0;
                     });
    long long total = 0;
    for (MfsMapEntry& e : map->rows) {
      const off_t size = file_size(e.file.c_str());
      e.start = static_cast<int32_t>(total);
      total += size > 0 ? size : 0;
      if (total > INT32_MAX) total = INT32_MAX;
      e.end = static_cast<int32_t>(total - 1);
    }
  }
  return found;
}

int mfs_add_group(MfsHandle* h, const char* dir, const char* pattern, const char* display_fmt,
                  const char* default_data_tag, const char* const view_lists[3], int sort,
                  int recursive) {
  int32_t ids[3];
  for (int v = 0; v < 3; ++v) {
    const char* text = view_lists[v] ? view_lists[v] : "";
    const int32_t row = mfs_fl_index(h->filter_lists, text);
    if (row >= 0) {
      ids[v] = h->filter_lists->rows[static_cast<size_t>(row)].id;
    } else {
      ids[v] = h->filter_lists->count();
      h->filter_lists->rows.push_back({ids[v], text, nullptr});
    }
  }
  const char* prefix = h->prefix.empty() ? nullptr : h->prefix.c_str();
  if (mfs_state().map_verbose) {
    long size = 0;
    mfs_size_directory(dir, pattern, display_fmt, default_data_tag, recursive, prefix, &size);
  }
  return mfs_expand_directory(h->map, dir, pattern, display_fmt, default_data_tag, ids, sort,
                              recursive, prefix);
}

int mfs_add_groups(MfsReader* reader, const char* dir, const char* pattern,
                   const char* display_fmt, const char* default_data_tag,
                   const char* const view_lists[3], int sort, int recursive) {
  return mfs_add_group(reader->handle, dir, pattern, display_fmt, default_data_tag, view_lists,
                       sort, recursive);
}

int mfs_compute_addresses(MfsHandle* h, VqStream* out, int fast) {
  MfsState& st = mfs_state();
  MfsUserDataIndex* index = mfs_usrdata_new(10, 10);
  const std::string dat_name = h->base + ".dat";
  VqStream* dat = nullptr;
  if (mfs_usrdata_load(index, "", dat_name.c_str(), mfs_usrdata_read_record)) {
    dat = vqio_fopen(dat_name.c_str(), "r");
    if (dat) vq_report(1, GetMsgNumText(75048), dat_name.c_str());
  }
  Progress progress{st.progress != 0, (!fast || out) ? kMeg : 10 * kMeg, 0};
  progress.next = progress.step;
  long long address = 0, total = 0;
  int ok = 1;
  for (MfsMapEntry& e : h->map->rows) {
    e.has_fields = false;
    e.fields.clear();
    const int32_t row = dat ? mfs_usrdata_find(index, e.file.c_str()) : -1;
    if (row >= 0 && mfs_usrdata_fetch(dat, index, row, &e.fields)) e.has_fields = true;
    // The row is borrowed from the map table: it is never freed as an entry.
    mfs_set_current_entry(h, &e);
    MfsStream* chain = list_chain(h, e.search_view);
    mfs_chain_setopt(chain, MFS_OPT_ENTRY, &e);
    long long length;
    if (!fast || out) {
      length = chain ? measure(chain, e, out, &progress, &total) : -1;
      if (!chain) vq_report(1, GetMsgNumText(75047), e.file.c_str());
    } else {
      length = file_size(e.file.c_str());
      if (length < 0) {
        vq_report(1, GetMsgNumText(75047), e.file.c_str());
      } else {
        total += length;
        report_progress(&progress, total, true);
      }
    }
    if (length < 0) length = 0;
    if (address + length > INT32_MAX) {
      // Logical addresses are 32-bit: the set cannot hold this member.
      vq_report(15, GetMsgNumText(75047), e.file.c_str());
      ok = 0;
      length = 0;
    }
    e.start = static_cast<int32_t>(address);
    address += length;
    e.end = static_cast<int32_t>(address - 1);
  }
  h->current_entry = nullptr;
  st.has_meta_entry = false;
  if (dat) vqio_fclose(dat);
  mfs_usrdata_free(index);
  if (progress.on) vq_report(1, GetMsgNumText(75015), static_cast<double>(total) / kMeg);
  return ok;
}

int mfs_build_full(MfsReader* reader, VqStream* out, int32_t version) {
  mfs_register_formats(reader->handle);
  const int ok = mfs_compute_addresses(reader->handle, out, 0);
  return mfs_write(reader->handle, version) && ok;
}

int mfs_build_fast(MfsReader* reader, VqStream* out, int32_t version) {
  mfs_register_formats(reader->handle);
  const int ok = mfs_compute_addresses(reader->handle, out, 1);
  return mfs_write(reader->handle, version) && ok;
}

int mfs_build_user_data(MfsReader* reader, const char* name) {
  return mfs_write_user_data(reader->handle, name);
}

int mfs_create_empty(int32_t version, const char* dir, const char* base) {
  if (!mfs_create(dir, base, 0, version)) return 0;
  MfsHandle* h = mfs_open(dir, base);
  if (!h) return 0;
  mfs_register_formats(h);
  const int ok = mfs_write(h, version);
  mfs_close(h);
  return ok;
}
