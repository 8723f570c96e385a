// The files a build writes checked against the files it reads, before any
// of them is made or changed.
//
// A build writes its index file, its log, the numbered work files
// (<int-name>.i<n>, .t<n>, <merge-name>.m<n>, all removed at the end) and
// the data dictionary to update. None of them may be the text (a plain
// file, a member or a map file of a multi-file set, the directory file or a
// fragment of a fragmented text), the data dictionary read, the points
// file or a region file of the region set, and no two of them may be one
// file: the build would overwrite, cut or remove it. Two names are one file
// when they name the same existing file (device and inode) or the same
// directory entry (the directory resolved, the final name as given). A -t
// build also refuses an existing <out>.dd that holds more than a -t build
// writes (it would be replaced by the text and index entries alone).
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "frgac/frgac.h"
#include "madat/madat.h"
#include "mfs/mfs.h"
#include "msg/msg.h"

namespace {

struct RoleFile {
  const char* role;
  std::string path;
};

bool is_superfile_member(const std::string& path) {
  return path.size() > 1 && path[0] == '@' && path.find('@', 1) != std::string::npos;
}

// The directory of path resolved, then "/" and the final name as given:
// one spelling per directory entry (null when the directory is not there).
std::string entry_place(const std::string& path) {
  if (is_superfile_member(path)) return path;
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  char* real = ::realpath(dir.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string out = real;
  std::free(real);
  if (out != "/") out += '/';
  return out + base;
}

// The file path names at last, symbolic links followed (the entry's place
// when it does not exist).
std::string file_place(const std::string& path) {
  if (is_superfile_member(path)) return path;
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return entry_place(path);
  std::string out = real;
  std::free(real);
  return out;
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  if (vqio_stat(a.c_str(), &sa) == 0 && vqio_stat(b.c_str(), &sb) == 0 &&
      sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) {
    return true;
  }
  return entry_place(a) == entry_place(b);
}

// Whether the final name of place is stem's final name, ".", kind and a
// number as the work files are numbered, in stem's directory.
bool is_work_name(const std::string& place, const std::string& stem_place, const char* kind) {
  const std::string prefix = stem_place + "." + kind;
  if (place.size() <= prefix.size() || place.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string digits = place.substr(prefix.size());
  if (digits.size() > 1 && digits[0] == '0') return false;
  return digits.find_first_not_of("0123456789") == std::string::npos;
}

[[noreturn]] void refuse(const RoleFile& out, const RoleFile& in) {
  vq_report(9, GetMsgNumText(100034), out.role, out.path.c_str(), in.role, in.path.c_str());
  std::abort();  // the installed printer has ended the run
}

// The files of one text record the build reads.
void add_text_files(const FileInfo& record, bool indexed, std::vector<RoleFile>* in) {
  const char* name = record.sys_name != nullptr ? record.sys_name : "";
  if (record.multi_file) {
    const std::string base = record.file_map != nullptr ? record.file_map : name;
    for (const char* ext : {".fmp", ".xmp", ".lmp", ".dat"}) {
      in->push_back({"file of the multi-file set", base + ext});
    }
    const MfsReader* set = indexed ? build_state().mfs : nullptr;
    if (set != nullptr) {
      MfsHandle* h = set->handle;
      const int32_t members = mfs_member_count(h);
      for (int32_t i = 0; i < members; ++i) {
        const MfsMapEntry* e = mfs_get_entry(h, i);
        if (e != nullptr) in->push_back({"member of the text", e->file});
        mfs_release_entry(h);
      }
    }
    return;
  }
  if (record.fragmented) {
    FrgacText text;
    if (frgac_open(name, record.frg_dir, record.major, record.minor, 0, FRGAC_READ, &text, 0) ==
        0) {
      in->push_back({"fragment directory file of the text",
                     text.directory + "/frg." + std::to_string(text.header[FRG_MAJOR]) + "." +
                         std::to_string(text.header[FRG_MINOR])});
      if (frgac_read_file_fragments(&text) == 0) {
        for (const std::string& f : text.names) in->push_back({"fragment of the text", f});
      }
      frgac_close(&text);
    }
    return;
  }
  in->push_back({"text", name});
}

std::vector<RoleFile> inputs() {
  const BuildState& st = build_state();
  const BuildOptions* o = st.options;
  std::vector<RoleFile> in;
  if (o->dd_name) in.push_back({"data dictionary", *o->dd_name});
  for (int32_t i = 0; i < st.control->text_count; ++i) {
    add_text_files(st.control->texts[i], i == 0, &in);
  }
  if (o->points_file) in.push_back({"index-points file", *o->points_file});
  if (o->region_name && st.dd_tree != nullptr) {
    FileInfo* files = nullptr;
    int32_t count = 0;
    if (bldgi::addgiri(st.dd_tree, o->region_name->c_str(), nullptr, nullptr, nullptr, &files,
                       &count, nullptr) != nullptr) {
      for (int32_t i = 0; i < count; ++i) {
        if (files[i].sys_name != nullptr) in.push_back({"region file", files[i].sys_name});
      }
    }
    addgi_files_free(files, count);
  }
  return in;
}

// The reason an existing data dictionary may not be replaced by a -t
// build's, or empty when it holds only what such a build writes.
std::string kept_entries(const std::string& path, const std::string& index_name) {
  VqStream* s = vqio_fopen(path.c_str(), "r");
  if (s == nullptr) return "it cannot be read";
  char head[2048];
  const size_t n = vqio_fread(head, 1, sizeof head - 1, s);
  vqio_fclose(s);
  head[n] = '\0';
  const char* lt = std::strchr(head, '<');
  if (lt == nullptr || std::strncmp(lt, "<DB>", 4) != 0) return "it is not a data dictionary";
  MadNode* tree = addpadd(path.c_str());
  if (tree == nullptr) return "it cannot be read";
  std::string reason;
  const MadNode* db = madatgc(tree, DD_DB);
  for (const MadNode* n = db != nullptr ? db->child : nullptr; n != nullptr && reason.empty();
       n = n->next) {
    if (n->kind != MAD_TAG) continue;
    if (n->tag_id == DD_Text) continue;
    if (n->tag_id == DD_Indices) {
      for (const MadNode* x = n->child; x != nullptr && reason.empty(); x = x->next) {
        if (x->kind != MAD_TAG) continue;
        const char* name = x->tag_id == DD_Index ? madatgv(madatgc(x, DD_Name)) : nullptr;
        if (name == nullptr || index_name != name) {
          reason = std::string("the index '") + (name != nullptr ? name : "") + "'";
        }
      }
      continue;
    }
    if (n->tag_id == DD_Regions && madatgc(n, DD_Region) == nullptr) continue;
    reason = n->tag_id == DD_Regions ? std::string("Region entries")
                                     : std::string("a <") + DdTagTable[n->tag_id].name + "> section";
  }
  madmtfr(tree);
  return reason;
}

}  // namespace

void CheckOutputsAreNotInputs() {
  const BuildState& st = build_state();
  const BuildOptions* o = st.options;
  const std::vector<RoleFile> in = inputs();
  std::vector<RoleFile> out;
  if (o->index_file) out.push_back({"index file", *o->index_file});
  out.push_back({"log file", o->log_file});
  // With -D the data dictionary read is the one updated.
  const bool dd_is_read = o->dd_name.has_value();
  out.push_back({"data dictionary to write", o->dd_update});

  for (const RoleFile& w : out) {
    for (const RoleFile& r : in) {
      if (dd_is_read && &w == &out.back() && r.path == *o->dd_name) continue;
      if (same_file(w.path, r.path)) refuse(w, r);
    }
  }
  for (size_t a = 0; a < out.size(); ++a) {
    for (size_t b = a + 1; b < out.size(); ++b) {
      if (same_file(out[a].path, out[b].path)) refuse(out[b], out[a]);
    }
  }
  // The numbered work files, matched by name in their directory: they are
  // made, cut and removed by number.
  struct Kind {
    const std::string* stem;
    const char* kind;
  };
  const Kind kinds[] = {{&o->int_name, "i"}, {&o->int_name, "t"}, {&o->int_name, "s"}, {&o->merge_name, "m"}};
  std::vector<RoleFile> checked = in;
  checked.insert(checked.end(), out.begin(), out.end());
  for (const Kind& k : kinds) {
    const std::string stem = entry_place(*k.stem);
    for (const RoleFile& f : checked) {
      if (is_work_name(entry_place(f.path), stem, k.kind) ||
          is_work_name(file_place(f.path), stem, k.kind)) {
        refuse({"work files", *k.stem + "." + k.kind + "<n>"}, f);
      }
    }
  }
  if (!o->dd_name) {
    struct stat sb{};
    if (vqio_stat(o->dd_update.c_str(), &sb) == 0) {
      const std::string reason = kept_entries(o->dd_update, st.control->index_name);
      if (!reason.empty()) {
        vq_report(9, GetMsgNumText(100035), o->dd_update.c_str(), reason.c_str());
      }
    }
  }
}
