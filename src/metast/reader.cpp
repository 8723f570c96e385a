// Reading meta-structure files record by record (format in metast.h).
#include <algorithm>
#include <cstring>

#include "metast/metast.h"
#include "sinsi/sinsi.h"

const char* const MetaStructTagNames[] = {"FileMap",      "VQMetaStruct", "VQFile",
                                          "VQDefaultDataTag", "VQDisplayFmt", "VQStart",
                                          "VQDataPos",    "VQTrailPos",   "VQEnd",
                                          nullptr};

namespace {

enum : int32_t {
  kFileMap = 0,
  kMetaStruct = 1,
  kFile = 2,
  kDefaultDataTag = 3,
  kDisplayFmt = 4,
  kStart = 5,
  kDataPos = 6,
  kTrailPos = 7,
  kEnd = 8,
};

// The process-wide state: one meta-structure file at a time.
struct MetaReader {
  SinsiStream* tags = nullptr;
  VqStream* file = nullptr;  // the stream the tag stream reads
  int32_t field = -1;        // current field's tag id, -1 none
  bool appending = false;    // the last token was text of the current field
  char text[SINSI_BUFSIZE + 1];
};

MetaReader reader;

void forget() {
  sinsicl(reader.tags);
  reader.tags = nullptr;
  reader.file = nullptr;
  reader.field = -1;
  reader.appending = false;
}

bool open_tags(VqStream* stream) {
  reader.tags = sinsios(stream, nullptr, nullptr, nullptr);
  if (!reader.tags) return false;
  reader.file = stream;
  static const int32_t ids[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  if (sinsidt(reader.tags, MetaStructTagNames, ids, &SinsiAngleDelimiters) != SINSI_OK) {
    forget();
    return false;
  }
  return true;
}

// Text of a field: the first token replaces the value, a following text token
// (a value longer than one token) is added to it; either way it is cut to the
// field's size.
void store_text(char* field, size_t size, const char* text, size_t n, bool append) {
  size_t at = append ? std::strlen(field) : 0;
  size_t room = size - 1 - std::min(at, size - 1);
  size_t k = std::min(n, room);
  std::memcpy(field + at, text, k);
  field[at + k] = '\0';
}

void take_text(MetaStructRecord* r, size_t n) {
  const char* t = reader.text;
  bool append = reader.appending;
  int32_t value;
  switch (reader.field) {
    case kFileMap: store_text(r->file_map, sizeof r->file_map, t, n, append); break;
    case kFile: store_text(r->file, sizeof r->file, t, n, append); break;
    case kDefaultDataTag: store_text(r->default_data_tag, sizeof r->default_data_tag, t, n, append); break;
    case kDisplayFmt: store_text(r->display_fmt, sizeof r->display_fmt, t, n, append); break;
    case kStart:
    case kDataPos:
    case kTrailPos:
    case kEnd: {
      if (vqio_sscanf(t, "%d", &value) != 1) break;  // not a number: unchanged
      int32_t* slot = reader.field == kStart     ? &r->start
                      : reader.field == kDataPos ? &r->data_pos
                      : reader.field == kTrailPos ? &r->trail_pos
                                                  : &r->end;
      *slot = value;
      break;
    }
    default: break;  // VQMetaStruct's own text, or no current field
  }
}

}  // namespace

void filemap_read_reset() { forget(); }

int filemap_read_record(VqStream* stream, MetaStructRecord* record) {
  if (reader.tags && reader.file != stream) forget();
  if (!reader.tags && !open_tags(stream)) return 0;
  for (;;) {
    size_t length = 0;
    int status = 0;
    int kind = sinsint(reader.tags, &length, &status);
    bool text = false;
    switch (kind) {
      case SINSI_START_TAG:
        reader.field = sinsigt(reader.tags, nullptr, &status);
        break;
      case SINSI_TEXT: {
        size_t n = SINSI_BUFSIZE;
        if (sinsigx(reader.tags, reader.text, &n) != SINSI_OK) return 0;
        take_text(record, n);
        text = reader.field >= 0;
        break;
      }
      case SINSI_END_TAG: {
        int32_t id = sinsigt(reader.tags, nullptr, &status);
        reader.field = -1;
        reader.appending = false;
        if (id == kFileMap || id == kMetaStruct) return 1;
        break;
      }
      case SINSI_END_TAG_UNKNOWN:
      case SINSI_START_TAG_UNKNOWN:
        break;  // skipped
      case SINSI_MALFORMED:
        reader.appending = false;
        return 0;
      default:  // end of input or a stream error
        forget();
        return 0;
    }
    reader.appending = text;
  }
}
