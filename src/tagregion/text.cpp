// The text that the finding reads: a plain file, a fragmented text or a
// multi-file set, byte by byte through one read callback.
#include <cerrno>

#include "tagregion/tagregion.h"

namespace {

// Plain files are read through a large buffer: the scan is one pass.
constexpr size_t kPlainBuffer = 1 << 20;

// Prints the system error of a failed open for the name, leaving errno as
// the open left it (the driver's report shows it again).
void open_failed(const char* name) {
  int error = errno;
  vqio_perror(name);
  errno = error;
}

}  // namespace

int tag_text_open(const FileInfo* info, TagText* text) {
  *text = TagText{};
  if (info->multi_file) {
    const char* name = info->file_map != nullptr ? info->file_map : info->sys_name;
    MfsReader* reader = mfs_file_open("", name, 0);
    if (reader == nullptr) {
      open_failed(name);
      return 1;
    }
    // An empty set has no address 0: it is read as an empty text.
    text->empty = mfs_file_length(reader) <= 0;
    if (!text->empty && mfs_file_seek(reader, 0) < 0) {
      open_failed(name);
      mfs_file_close(reader);
      return 1;
    }
    text->kind = 3;
    text->set = reader;
    return 0;
  }
  if (info->fragmented) {
    auto* t = new FrgacText;
    if (frgac_open(info->sys_name, info->frg_dir, info->major, info->minor, 65535,
                   FRGAC_READ, t, 0) != 0) {
      open_failed(info->sys_name);
      delete t;
      return 1;
    }
    text->kind = 2;
    text->fragmented = t;
    return 0;
  }
  VqStream* in = vqio_fopen(info->sys_name, "r");
  if (in == nullptr) {
    open_failed(info->sys_name);
    return 1;
  }
  vqio_setvbuf(in, nullptr, 0, kPlainBuffer);
  text->kind = 1;
  text->plain = in;
  return 0;
}

void tag_text_close(TagText* text) {
  if (text->plain != nullptr) vqio_fclose(text->plain);
  if (text->fragmented != nullptr) {
    frgac_close(text->fragmented);
    delete text->fragmented;
  }
  if (text->set != nullptr) mfs_file_close(text->set);
  *text = TagText{};
}

int tag_text_getc(void* handle) {
  auto* text = static_cast<TagText*>(handle);
  switch (text->kind) {
    case 1: return vqio_getc(text->plain);
    case 2: return frgacgc(text->fragmented);
    case 3: return text->empty ? -1 : mfs_file_getc(text->set);
  }
  return -1;
}

int tag_text_getc_fragmented(void* handle) {
  return frgacgc(static_cast<TagText*>(handle)->fragmented);
}

int tag_text_getc_set(void* handle) {
  auto* text = static_cast<TagText*>(handle);
  return text->empty ? -1 : mfs_file_getc(text->set);
}
