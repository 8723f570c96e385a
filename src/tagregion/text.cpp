// The text that the finding reads: a plain file, a fragmented text or a
// multi-file set, block by block through one callback.
#include <cerrno>

#include "tagregion/tagregion.h"

namespace {

// Plain files are read in large blocks straight into the text's block.
constexpr size_t kPlainBlock = 256 * 1024;

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

size_t tag_text_block(void* handle, const unsigned char** block) {
  auto* text = static_cast<TagText*>(handle);
  switch (text->kind) {
    case 1: {
      text->block.resize(kPlainBlock);
      *block = text->block.data();
      return vqio_fread(text->block.data(), 1, kPlainBlock, text->plain);
    }
    case 2: {
      // The rest of the fragmented text's own buffer, refilled when empty.
      FrgacText* t = text->fragmented;
      if (t->buffer_index >= t->buffer_count) {
        if (frgacfl(t) < 0) return 0;
        t->buffer_index = 0;  // the refill took the first byte
      }
      *block = t->buffer + t->buffer_index;
      const size_t n = static_cast<size_t>(t->buffer_count - t->buffer_index);
      t->buffer_index = t->buffer_count;
      return n;
    }
    case 3: {
      if (text->empty) return 0;
      MfsReader* r = text->set;
      if (r->index >= r->fill && mfs_file_peek(r) < 0) return 0;
      *block = r->buffer + r->index;
      const size_t n = static_cast<size_t>(r->fill - r->index);
      r->index = r->fill;
      return n;
    }
  }
  return 0;
}
