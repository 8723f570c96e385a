// The process-wide state of the multi-file set modules and the helpers the
// three tagged map-file readers share.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "mfs/setstate.h"

MfsState& mfs_state() {
  // Built on first use, so no static initialisation order matters.
  static MfsState state;
  return state;
}

void mfs_reset_state() {
  MfsState& st = mfs_state();
  mfs_close_open_member();
  if (st.module && st.module_state) st.module->destroy(st.module_state);
  MfsMapFileModule* module = st.module;  // the module record stays
  st = MfsState{};
  st.module = module;
}

std::string mfs_set_file(const std::string& dir, const std::string& base, const char* ext) {
  if (dir.empty()) return base + ext;
  return dir + "/" + base + ext;
}

// ---------------------------------------------------------------------------
// Tag streams over map files

MfsTags mfs_tag_open(VqStream* stream, const char* const* names) {
  MfsTags tags(sinsios(stream, nullptr, nullptr, nullptr));
  if (!tags) return tags;
  int32_t n = 0;
  while (names[n]) ++n;
  std::vector<int32_t> ids(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) ids[static_cast<size_t>(i)] = i;
  if (sinsidt(tags.get(), names, ids.data(), &SinsiAngleDelimiters) != SINSI_OK) tags.reset();
  return tags;
}

void mfs_tag_append_text(SinsiStream* tags, std::string* text) {
  text->append(reinterpret_cast<const char*>(tags->buffer), tags->length);
}

int mfs_parse_int32(const std::string& text, int32_t* value) {
  const char* p = text.c_str();
  while (sinsi_is_blank(static_cast<unsigned char>(*p))) ++p;
  if (*p == '\0') return 0;
  char* stop = nullptr;
  errno = 0;
  const long v = std::strtol(p, &stop, 10);
  if (stop == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return 0;
  while (sinsi_is_blank(static_cast<unsigned char>(*stop))) ++stop;
  if (*stop != '\0') return 0;
  *value = static_cast<int32_t>(v);
  return 1;
}
