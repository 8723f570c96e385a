// The event loop's common part of the writing modes (line-format output,
// normalize, filter): which events write anything and which writer of the
// mode takes each.
#include <unistd.h>

#include "finder/finder.h"
#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"

namespace {
constexpr unsigned char kRecordEnd = 13;
constexpr int32_t kWritingBuffer = 64 * 1024;
}  // namespace

void writing_output_buffer() {
  VqStream* s = vqio_stdout;
  if (s->size >= kWritingBuffer || (s->flags & VQ_LINEBUF) || ::isatty(vqio_fileno(s)) == 1) return;
  vqio_setvbuf(s, nullptr, VQ_IOFBF, kWritingBuffer);
}

void event_write(const EventWriter& w, int code, const EventTagRecord& tag,
                 const EventDataRecord& data) {
  // A subdocument runs its child even when nothing is written.
  if (code == PARSE_DATA && (data.flags & (DATA_EXTERNAL | DATA_NOT_ALLOWED)) == DATA_EXTERNAL &&
      data.text != nullptr && reinterpret_cast<const DataEntity*>(data.text)->kind == 4) {
    if (w.subdocument != nullptr) w.subdocument(*reinterpret_cast<const DataEntity*>(data.text));
    return;
  }
  if (front_state().suppress) return;
  switch (code) {
    case PARSE_DATA:
      if (data.flags & DATA_NOT_ALLOWED) return;
      if (data.flags & DATA_NO_RESCAN) {
        w.data(data.text, static_cast<size_t>(data.length), false);
      } else if (data.flags & DATA_SDATA) {
        w.data(data.text, static_cast<size_t>(data.length), true);
      } else if (data.flags & DATA_EXTERNAL) {
        if (data.text != nullptr) w.external(*reinterpret_cast<const DataEntity*>(data.text));
      } else {
        w.data(data.text, static_cast<size_t>(data.length), false);
      }
      return;
    case PARSE_START_TAG:
      if (!(tag.flags & OPEN_NOT_ALLOWED)) w.start_tag(tag);
      return;
    case PARSE_END_TAG:
      if (!(tag.flags & OPEN_NOT_ALLOWED)) w.end_tag(tag);
      return;
    case PARSE_RECORD_END:
      if (!(data.flags & DATA_NOT_ALLOWED)) w.data(&kRecordEnd, 1, false);
      return;
    case PARSE_PI:
      if (!(data.flags & DATA_NOT_ALLOWED)) w.instruction(data);
      return;
    case PARSE_APPINFO:
      if (!(data.flags & DATA_NOT_ALLOWED) && w.appinfo != nullptr) w.appinfo(data);
      return;
    default:
      return;
  }
}

size_t append_plain_run(std::string& out, const unsigned char* text, size_t i, size_t length,
                        const bool* plain) {
  size_t end = i;
  while (end < length && plain[text[end]]) ++end;
  out.append(reinterpret_cast<const char*>(text + i), end - i);
  return end;
}

NotationRecord* attribute_notation(const AttributeList& a) {
  if (a.record != nullptr) return static_cast<NotationRecord*>(a.record);
  const bool token = a.value != nullptr && a.value_length >= 2 && a.value[0] >= 2 &&
                     a.value[0] <= a.value_length;
  return token ? notation_find(a.value) : nullptr;
}
