// The data-dictionary update at the end of a build: the text entry with
// fresh modification dates, the index file (made a fragmented file of one
// fragment when the collection is one fragmented text), the <Index> entry,
// the data dictionary rewritten (a new file that replaces the old one only
// when it was written whole, put in place together with the new index:
// commit/commit.h), and the lock released.
//
// Every text record keeps its own fragmented flag and fragment fields: the
// "one fragmented text" rule decides only how the index itself is written,
// so the data dictionary goes on describing its fragmented texts.
#include <sys/stat.h>

#include <cerrno>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "commit/commit.h"
#include "frgac/frgac.h"
#include "msg/msg.h"

namespace {

std::string fragment_dir() {
  const BuildOptions* o = build_state().options;
  return o->index_file.value_or("") + ".frg";
}

// The modification date of a file, or the old date when it cannot be read.
uint32_t mod_date(const char* path, uint32_t old) {
  struct stat sb{};
  if (path == nullptr || vqio_stat(path, &sb) != 0) return old;
  return static_cast<uint32_t>(sb.st_mtime);
}

// The index file's record: plain, or fragmented in its ".frg" directory.
void fill_index_record(FileInfo* index, const std::string& index_file, bool fragmented) {
  addgi_file_clear(index);
  index->sys_name = StrDup(index_file.c_str());
  index->mod_date = mod_date(commit_current_name(index_file).c_str(), 0);
  index->offset = 0;
  index->fragmented = fragmented ? 1 : 0;
  index->frg_dir = fragmented ? StrDup(fragment_dir().c_str()) : nullptr;
  index->major = fragmented ? 1 : 0;
  index->minor = 0;
}

// Makes the fragment directory and writes its directory file frg.1.0,
// which describes the index file, unmoved, as the one fragment. false after
// a report.
bool write_fragmented_index(const std::string& index_file) {
  const std::string dir = fragment_dir();
  struct stat sb{};
  if (vqio_stat(dir.c_str(), &sb) == 0) {
    vq_report(6, GetMsgNumText(60012), dir.c_str());
    return false;
  }
  // mkdir(2), never a shell: the name comes from the command line or the
  // data dictionary.
  if (::mkdir(dir.c_str(), 0777) != 0) {
    vq_report(6, GetMsgNumText(60003), dir.c_str());
    return false;
  }
  FrgacText text;
  if (frgaccr(index_file.c_str(), dir.c_str(), &text, FRG_TABLE_A) != 0) {
    frgaccl(&text, 0);
    return false;
  }
  return frgaccl(&text, 1) == 0;
}

}  // namespace

bool fragmented_index() {
  const BuildState& st = build_state();
  const BuildControl* c = st.control;
  return st.dd_tree != nullptr && c != nullptr && c->text_count == 1 && c->texts != nullptr &&
         c->texts[0].fragmented && !c->texts[0].multi_file;
}

int CheckFragmentDir() {
  if (!fragmented_index()) return 0;
  const std::string dir = fragment_dir();
  struct stat sb{};
  if (vqio_stat(dir.c_str(), &sb) == 0) {
    vq_report(6, GetMsgNumText(60012), dir.c_str());
    return 6;
  }
  return 0;
}

int WriteDD() {
  BuildState& st = build_state();
  BuildOptions* o = st.options;
  BuildControl* c = st.control;
  const bool fragmented = fragmented_index();
  for (int32_t i = 0; i < c->text_count; ++i) {
    FileInfo& t = c->texts[i];
    if (!t.multi_file) t.mod_date = mod_date(t.sys_name, t.mod_date);
  }
  if (st.dd_tree == nullptr) {
    // A -t build writes a new data dictionary.
    st.dd_tree = madmtmr();
    madmtac(st.dd_tree, MAD_TAG, DD_DB, nullptr);
  }
  const bool one_set = c->text_count == 1 && c->texts[0].multi_file;
  if (addmdmt(st.dd_tree, one_set ? DD_MfsFiles : DD_Files, c->texts, c->text_count) != 0) {
    return 0;
  }
  const std::string index_file = o->index_file.value_or("");
  fill_index_record(&c->index_file, index_file, fragmented);
  if (fragmented && !write_fragmented_index(index_file)) return 0;
  c->integrity_check = pitclhash(c);
  const IndexMappings mappings{c->map.data(), &c->stop_words, c->mappings.data(),
                               static_cast<int32_t>(c->mappings.size())};
  if (addmdmi(st.dd_tree, c->index_name.c_str(),
              {{DD_Name, c->index_name.c_str()},
               {DD_File, &c->index_file},
               {DD_IndexPoints, &c->word_starters},
               {DD_Mappings, &mappings},
               {DD_LongestMatch, static_cast<long>(c->longest_match),
                static_cast<long>(c->resolution)},
               {DD_IntegrityCheck, static_cast<long>(c->integrity_check)}}) != 0) {
    return 0;
  }
  if (addutwrdd(o->dd_update.c_str(), st.dd_tree) != 0) return 0;
  if (st.lock > 0) {
    lokcffl(st.lock);
    st.lock = 0;
  }
  return 1;
}
