// Build control from a data dictionary: the <Index> entry (the one named,
// else the first) and the text records.
#include <cstring>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "madat/madat.h"
#include "msg/msg.h"

namespace {

// How much of the file the look test reads.
constexpr size_t kLookBytes = 2047;

// The file looks like a data dictionary when the first "<" of its first
// 2047 bytes begins "<DB>". A file that does not open is left to the reader
// (which reports it).
bool looks_like_dd(const char* path, bool* opened) {
  VqStream* s = vqio_fopen(path, "r");
  *opened = s != nullptr;
  if (s == nullptr) return false;
  char text[kLookBytes + 1];
  size_t n = vqio_fread(text, 1, kLookBytes, s);
  vqio_fclose(s);
  text[n] = '\0';
  const char* lt = std::strchr(text, '<');
  return lt != nullptr && std::strncmp(lt, "<DB>", 4) == 0;
}

// Reads the values of the <Index> entry into the control record.
int read_index(MadNode* index, BuildControl* control) {
  std::optional<std::string> name;
  int status = bldgi::addgiic(index, &name, &control->index_desc, &control->init_file,
                              &control->integrity_check, &control->index_file,
                              &control->file_count);
  if (status != 0) return status;
  control->index_name = name.value_or("");
  bldgi::addgilr(index, &control->longest_match, &control->resolution);
  status = bldgi::addgicm(index, control);
  if (status != 0) return status;
  control->stop_words = bldgi::addgisw(index);
  bool found = false;
  std::vector<std::string> points = bldgi::addgiip(index, &found);
  if (found) {
    control->word_starters = std::move(points);
    control->definition_count = static_cast<int32_t>(control->word_starters.size());
  }
  bldgi::addgisv(index, &control->s_vector);
  control->aux_path = bldgi::addgiau(index);
  return 0;
}

}  // namespace

int ReadDataDict(const char* dd_name, const char* index_name, BuildControl* control) {
  bool opened = false;
  if (!looks_like_dd(dd_name, &opened) && opened) {
    vq_report(9, GetMsgNumText(40008), dd_name);
    return 9;
  }
  BuildState& st = build_state();
  madmtfr(st.dd_tree);
  st.dd_tree = addpadd(dd_name);
  if (st.dd_tree == nullptr) return 9;
  MadNode* tree = st.dd_tree;

  MadNode* index = nullptr;
  if (index_name != nullptr) {
    index = bldgi::addgiin(tree, index_name, dd_name);
    if (index == nullptr) return 9;
  } else {
    index = madatgc(madatgc(madatgc(tree, DD_DB), DD_Indices), DD_Index);
  }
  if (index != nullptr && read_index(index, control) != 0) return 9;
  if (StopWord(control) != 0) return 9;

  FileInfo* texts = nullptr;
  int32_t count = 0;
  if (addgiti(tree, nullptr, nullptr, &texts, &count) == nullptr) return 4;
  addgi_files_free(control->texts, control->text_count);
  control->texts = texts;
  control->text_count = count;
  return index != nullptr ? 0 : 3;
}
