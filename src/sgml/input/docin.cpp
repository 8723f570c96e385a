// Opening and closing the document input: standard input, plain files and
// lists of them, and the text of a data dictionary (plain, fragmented or
// multi-file) for the document entity.
#include <sys/stat.h>

#include <cerrno>

#include "addgi/addgi.h"
#include "frgac/frgac.h"
#include "io/vqio.h"
#include "madat/madat.h"
#include "madmt/madmt.h"
#include "mfs/mfs.h"
#include "msg/msg.h"
#include "sgml/input/docin.h"
#include "sgml/input/docin_internal.h"
#include "sgml/parser_state.h"
#include "util/util.h"

namespace {

// Size estimate for a fragmented text's remap tables.
constexpr unsigned long kFragmentEstimate = 65535;

// Opens a plain file for reading; a folder is refused as a document.
VqStream* open_plain(const std::string& name) {
  VqStream* s = vqio_fopen(name.c_str(), "r");
  if (s == nullptr) return nullptr;
  struct stat st;
  if (vqio_fstat(vqio_fileno(s), &st) == 0 && S_ISDIR(st.st_mode)) {
    vqio_fclose(s);
    errno = EISDIR;
    return nullptr;
  }
  vqio_setvbuf(s, nullptr, VQ_IOFBF, kDocPlainBuffer);
  return s;
}

// Positions a plain file at the start position: false when it cannot.
bool seek_start(DocHandle* h, int32_t start) {
  if (start < 0) {
    errno = EINVAL;
    return false;
  }
  if (start > 0 && vqio_fseek(h->stream, start, SEEK_SET) != 0) return false;
  h->next_offset = start;
  return true;
}

bool open_dd_text(DocHandle* h, const std::string& dd_name, bool fragmented_allowed) {
  MadNode* tree = addpadd(dd_name.c_str());
  if (tree == nullptr) {
    vq_report(9, GetMsgNumText(40006), dd_name.c_str());
    return false;
  }
  FileInfo* files = nullptr;
  int32_t count = 0;
  if (addgiti(tree, nullptr, nullptr, &files, &count) == nullptr) {
    const MadNode* db = madatgc(tree, DD_DB);
    bool has_text = db != nullptr && madatgc(db, DD_Text) != nullptr;
    madmtfr(tree);
    vq_report(9, GetMsgNumText(has_text ? 40006 : 40018), dd_name.c_str());
    return false;
  }
  madmtfr(tree);
  if (files == nullptr || count < 1) {
    addgi_files_free(files, count);
    vq_report(9, GetMsgNumText(40018), dd_name.c_str());
    return false;
  }
  const FileInfo& first = files[0];
  int32_t start = doc_start_position();
  DocInputState& state = doc_input_state();
  bool ok = false;
  if (first.multi_file) {
    const char* map = first.file_map != nullptr ? first.file_map : first.sys_name;
    h->name = dd_name;
    MfsReader* reader = mfs_file_open("", map, 0);
    if (reader != nullptr) {
      h->source = kSourceMfs;
      h->multi_file = 1;
      h->mfs = reader;
      state.last_mfs = reader;
      state.mfs_opened.push_back(reader);
      h->empty = mfs_file_length(reader) <= 0 && start == 0;
      if (start < 0) {
        errno = EINVAL;
      } else if (h->empty || mfs_file_seek(reader, start) >= 0) {
        h->next_offset = start;
        ok = true;
      }
    }
  } else if (first.fragmented) {
    h->name = dd_name;
    if (fragmented_allowed) {
      auto* t = new FrgacText;
      if (frgac_open(first.sys_name, first.frg_dir, first.major, first.minor, kFragmentEstimate,
                     FRGAC_READ, t, 0) == 0) {
        h->source = kSourceFragmented;
        h->fragmented = 1;
        h->fragment = t;
        state.last_fragmented = t;
        state.fragmented_opened.push_back(t);
        h->next_offset = 0;  // a fragmented text is read from its beginning
        ok = true;
      } else {
        delete t;
      }
    }
  } else {
    h->name = first.sys_name != nullptr ? first.sys_name : "";
    h->stream = open_plain(h->name);
    if (h->stream != nullptr) {
      h->source = kSourceStream;
      ok = seek_start(h, start);
    }
  }
  addgi_files_free(files, count);
  h->dd = 1;
  return ok;
}

}  // namespace

bool doc_source_open(DocHandle* h, const std::string& name, bool fragmented_allowed) {
  h->source = kSourceNone;
  h->stream = nullptr;
  h->fragment = nullptr;
  h->mfs = nullptr;
  h->fragmented = h->multi_file = h->dd = 0;
  h->is_stdin = false;
  h->empty = false;
  h->next_offset = 0;
  h->name = name;
  // "vq_stdin" and "*.dd" mean standard input and a data dictionary only
  // for the document entity; for any other entity they are file names.
  if (h->document && wild_match("*.dd", name.c_str())) {
    return open_dd_text(h, name, fragmented_allowed);
  }
  if (h->document && name == kDocStdinName) {
    h->stream = vqio_stdin;
    h->is_stdin = true;
  } else {
    h->stream = open_plain(name);
  }
  if (h->stream == nullptr) return false;
  h->source = kSourceStream;
  return true;
}

int doc_open(const char* names, DocHandle** out, bool document) {
  errno = 0;
  *out = nullptr;
  if (names == nullptr || names[0] == '\0') return -1;
  auto* h = new DocHandle;
  h->document = document;
  for (const char* p = names; *p != '\0'; p += std::char_traits<char>::length(p) + 1) {
    h->names.emplace_back(p);
  }
  *out = h;
  bool ok = doc_source_open(h, h->names[0], true);
  h->record_start = 1;
  h->end_of_buffer_pending = 1;
  return ok ? 1 : -1;
}

void doc_close(DocHandle* h) {
  if (h == nullptr) return;
  if (h->source == kSourceStream && h->stream != nullptr && !h->is_stdin) vqio_fclose(h->stream);
  h->stream = nullptr;
  // Fragmented texts and multi-file readers stay open: the region finder
  // maps positions through the last ones.
  doc_input_state().last_closed_name = h->name;
  delete h;
}

const char* doc_name(const DocHandle* h) {
  return h != nullptr ? h->name.c_str() : doc_input_state().last_closed_name.c_str();
}

VqStream* doc_stream(const DocHandle* h) { return h != nullptr ? h->stream : nullptr; }

int doc_fragment_handle(const DocHandle* h, FrgacText** out) {
  if (h == nullptr || h->fragment == nullptr) return 0;
  *out = h->fragment;
  return 1;
}

int doc_mfs_reader(const DocHandle* h, MfsReader** out) {
  if (h == nullptr || h->mfs == nullptr) return 0;
  *out = h->mfs;
  return 1;
}

void doc_input_release() {
  DocInputState& state = doc_input_state();
  for (FrgacText* t : state.fragmented_opened) {
    frgac_close(t);
    delete t;
  }
  for (MfsReader* r : state.mfs_opened) mfs_file_close(r);
  state.fragmented_opened.clear();
  state.mfs_opened.clear();
  state.last_fragmented = nullptr;
  state.last_mfs = nullptr;
}

int cur_fragment_handle(FrgacText** out) {
  FrgacText* t = doc_input_state().last_fragmented;
  if (t == nullptr) return 0;
  *out = t;
  return 1;
}

int cur_mfs_reader(MfsReader** out) {
  MfsReader* r = doc_input_state().last_mfs;
  if (r == nullptr) return 0;
  *out = r;
  return 1;
}
