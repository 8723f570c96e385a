// Abstract sets: opening a set file behind its data-file header, and
// turning stored elements into text positions.
#include <cstring>

#include "msg/msg.h"
#include "pitas/pitas.h"
#include "pitst/pitst.h"

namespace {

// Order of the elements of each header file type 0 to 5.
constexpr int32_t kOrderOfType[6] = {2, 1, 1, 2, 1, 0};
constexpr uint32_t kMaxVersionNumber = 32766;

}  // namespace

AbstractSet* pitasop(AbstractSet* /*base*/, int32_t set_type, FileInfo* file, const char* name) {
  unsigned char bytes[PITAS_HEADER_BYTES];
  int64_t file_size = 0;
  if (set_type == SET_OPEN_FRAGMENTED) {
    auto* text = static_cast<FrgacText*>(file->handle);
    if (bldgi::frgacrd(text, 1, PITAS_HEADER_BYTES, bytes) != PITAS_HEADER_BYTES) {
      vq_report(13, "pitasop: Unable to read header (1).");
      return nullptr;
    }
    file_size = text->header[FRG_LOGICAL_LENGTH];
  } else if (set_type == SET_OPEN_STREAM) {
    auto* stream = static_cast<VqStream*>(file->handle);
    if (vqio_fseek(stream, 0, SEEK_SET) != 0) {
      vq_report(16, "pitasop: Unable to seek.");
      return nullptr;
    }
    if (vqio_fread(bytes, 1, PITAS_HEADER_BYTES, stream) != PITAS_HEADER_BYTES) {
      vq_report(16, "pitasop: Unable to read header (2).");
      return nullptr;
    }
    struct stat sb{};
    if (vqio_fstat(vqio_fileno(stream), &sb) != 0) {
      vq_report(16, "pitasop: Couldn't find file size.");
      return nullptr;
    }
    file_size = sb.st_size;
  } else {
    vq_report(5, "pitasop: Bad set_type = %d.", set_type);
    return nullptr;
  }
  PitasHeader header;
  pitas_decode(bytes, &header);
  int swapped = 0;
  const char* path = file->sys_name != nullptr ? file->sys_name : name;
  const uint32_t type = static_cast<uint32_t>(pitasck(&header, &swapped, path));
  if (type > 5) {
    vq_report(13, "pitstop: Bad file type = %d.", static_cast<int>(type));
    return nullptr;
  }
  if (header.word[PITAS_WORD_EXTRA] != 0) {
    vq_report(13,
              "pitasop: Region set '%s' in '%s' is scrambled (extra value %u in its header); "
              "its element multiplier is not known, so it cannot be read.",
              name, path, header.word[PITAS_WORD_EXTRA]);
    return nullptr;
  }
  const uint32_t major = header.word[PITAS_WORD_MAJOR], minor = header.word[PITAS_WORD_MINOR];
  if (major > kMaxVersionNumber || minor > kMaxVersionNumber) {
    vq_report(12,
              "pitasop: Wow!  You've done a lot of updating.  Can't handle major/minor version "
              "numbers greater than 32767.");
    return nullptr;
  }
  const int64_t elements = file_size > static_cast<int64_t>(PITAS_HEADER_BYTES)
                               ? (file_size - static_cast<int64_t>(PITAS_HEADER_BYTES)) / 4
                               : 0;
  const int32_t kind = set_type == SET_OPEN_FRAGMENTED ? SUBSET_FRAGMENTED : SUBSET_STREAM;
  Subset* subset = pitstcr(kind, kOrderOfType[type], static_cast<int32_t>(elements), nullptr,
                           file->handle, PITAS_HEADER_BYTES, swapped, 0);
  if (subset == nullptr) return nullptr;
  file->handle = nullptr;  // the subset owns the open file now
  auto* set = new AbstractSet;
  set->subset = subset;
  set->set_type = set_type;
  set->file_type = static_cast<int32_t>(type);
  set->order = kOrderOfType[type];
  set->version = static_cast<int32_t>(major << 16 | minor);
  return set;
}

AbstractSet* pitascr(const FileInfo* file, Subset* subset, int32_t set_type) {
  auto* set = new AbstractSet;
  set->file = file;
  set->subset = subset;
  set->set_type = set_type;
  set->order = subset != nullptr ? subset->order : 0;
  return set;
}

int pitas_make_working_vector(AbstractSet* set, int32_t* values, int32_t count) {
  if (set == nullptr) {
    vq_report(15, "pitaswv: abstract is NULL.");
    return 15;
  }
  if (set->set_type == SET_NONE) {
    for (int32_t i = 0; i < count; ++i) values[i] = -1;
    return 0;
  }
  if (set->set_type != SET_PERSISTENT) return 0;
  const FileInfo* text = set->file;
  if (text == nullptr || !text->fragmented) {
    vq_report(15, "pitaswv: persistent pointers MUST be to fragmented files");
    return 15;
  }
  FrgacText fragmented;
  long failed = -1;
  if (frgac_open(text->sys_name, text->frg_dir, text->major, text->minor, 0, FRGAC_READ,
                 &fragmented, 1) == 0) {
    failed = bldgi::frgac_get_logical_addresses(&fragmented, values, count);
    frgac_close(&fragmented);
  }
  if (failed != 0) {
    vq_report(15, "pitas_make_working_vector: frgac_get_logical_addresses failed");
    return 15;
  }
  for (int32_t i = 0; i < count; ++i) values[i] -= 1;
  return 0;
}

void pitas_free(AbstractSet* set) {
  if (set == nullptr) return;
  pitstcl(set->subset);
  delete set;
}
