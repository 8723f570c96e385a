// The meta and display-format modes are not part of this build yet: the
// finding then fails, and the driver reports it (80014) and stops before
// anything has changed.
#include "tagregion/tagregion.h"

int md_find_meta(const char*, const TagNameLists*, const char* meta_file, const FileInfo*,
                 int32_t, const char*, int, VqStream*) {
  error_printf("%s: the meta mode is not available in this build\n",
               meta_file != nullptr ? meta_file : "(no meta file)");
  return 1;
}

int md_find_displayfmt(const char*, const TagNameLists*, const char* meta_file, const char*,
                       const FileInfo*, int32_t, const char*, int, VqStream*) {
  error_printf("%s: the display-format mode is not available in this build\n",
               meta_file != nullptr ? meta_file : "(no meta file)");
  return 1;
}
