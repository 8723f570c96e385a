// Normalize mode: the document instance written back as SGML the way the
// parser saw it: every start tag with its attribute values quoted, every
// end tag but those of EMPTY elements, entity texts expanded, omitted tags
// supplied. The event writer is shared with the filter mode, which adds no
// line breaks.
//
// Each entity is "met" once per run (the parser's written marks): an
// internal text entity named by an ENTITY attribute writes its text there,
// and an external data entity's data attributes are written where it is
// first met (before its first "&name;", or inside the start tag before the
// ENTITY attribute that names it). The notation of a data entity is only
// marked as met; nothing is written for it.
#include <array>
#include <cstring>
#include <string>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/attlist.h"
#include "sgml/entity.h"
#include "sgml/model.h"
#include "sgml/prolog.h"
#include "sgml/sgml.h"
#include "sgml/tables.h"

namespace {

enum : uint8_t { kDvNotation = 1, kDvCdata = 2, kDvEntity = 3, kDvEntities = 10 };
constexpr unsigned char kRE = 13;
constexpr uint8_t kContentEmpty = 0x10;  // declared content EMPTY (model header)

struct NormalizeState {
  bool data_written = false;  // data was written since the last subdocument
};
NormalizeState norm;

VqStream* out() { return vqio_stdout; }
void put(int c) { vqio_putc(c, out()); }

// An element or entity name, as it is.
void put_name(const unsigned char* counted) { vqio_fputs(name_chars(counted), out()); }

// Bytes that normalize_text copies as they are: all but byte 31, a record
// end and a line feed. Runs of them are copied at once.
constexpr std::array<bool, 256> plain_bytes() {
  std::array<bool, 256> plain{};
  for (unsigned c = 0; c < 256; ++c) plain[c] = c != 31 && c != kRE && c != '\n';
  return plain;
}
constexpr std::array<bool, 256> kPlain = plain_bytes();

// Texts are formed here and then written.
std::string scratch;

void put_text(const unsigned char* t, size_t n) {
  scratch.clear();
  normalize_text(scratch, t, n);
  vqio_fwrite(scratch.data(), 1, scratch.size(), out());
}

// No line breaks are added in the filter mode and for meta documents.
void line_break() {
  const ModeOptions* o = mode_options;
  if (o != nullptr && (o->mode == kModeFilter || o->meta != 0)) return;
  put('\n');
}

void data_item(const unsigned char* t, size_t n, bool sdata) {
  if (n == 0 && !sdata) return;
  put_text(t, n);
  norm.data_written = true;
}

void write_attributes(const AttributeList* list);

// The data-entity record met for the first time.
void meet_data_entity(const DataEntity* de) {
  if (de == nullptr || de->kind == 4) return;
  // An external entity without a data notation has nothing to mark.
  if (de->notation != nullptr) de->notation->output_mark = 1;
  if (de->attributes != nullptr) write_attributes(de->attributes);
}

// The entity named by the counted name, met once per run.
void meet_entity(const unsigned char* name) {
  if (sgml_entity_mark(name) != 0) return;
  void* record = nullptr;
  const unsigned char* text = nullptr;
  const int kind = sgml_entity_info(name, &record, &text);
  if (kind == 1) {
    meet_data_entity(static_cast<const DataEntity*>(record));
  } else if (kind == 2 || kind == 3) {
    if (const EntityRecord* rec = entfind(name)) put_text(rec->text, static_cast<size_t>(rec->text_len));
  }
}

void attribute_head(const AttributeList& a) {
  put(' ');
  vqio_fputs(name_chars(a.name), out());
  put('=');
  put('"');
}

// The specified attributes as ` name="value"`; IMPLIED ones and values in
// error are left out.
void write_attributes(const AttributeList* list) {
  const int32_t n = list[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    const int32_t skip = (a.flags & 0x10) ? a.count : 0;
    i += skip;
    if ((a.flags & 0x06) || a.value == nullptr) continue;
    if (a.declared > 9) {
      if (a.declared == kDvEntities) {
        for (int32_t p = 0, k = 0; k < a.count && p < a.value_length; ++k) {
          meet_entity(a.value + p);
          p += a.value[p];
        }
      }
      attribute_head(a);
      for (int32_t p = 0, k = 0; k < a.count && p < a.value_length; ++k) {
        if (k > 0) put(' ');
        vqio_fwrite(a.value + p + 1, 1, static_cast<size_t>(a.value[p] - 2), out());
        p += a.value[p];
      }
      put('"');
      continue;
    }
    // A tokenized value may hold no token (a default left empty).
    const bool token = a.declared != kDvCdata && a.value_length >= 2 && a.value[0] >= 2 &&
                       a.value[0] <= a.value_length;
    if (a.declared == kDvNotation && a.record != nullptr)
      static_cast<NotationRecord*>(a.record)->output_mark = 1;
    if (a.declared == kDvEntity && token) meet_entity(a.value);
    attribute_head(a);
    if (a.declared == kDvCdata) {
      put_text(a.value, static_cast<size_t>(a.value_length));
    } else if (token) {
      vqio_fwrite(a.value + 1, 1, static_cast<size_t>(a.value[0] - 2), out());
    }
    put('"');
  }
}

// Whether the end tag of the element type is written: declared, with a
// content record, and not EMPTY.
bool end_tag_written(const unsigned char* name) {
  const ElementTypeDef* etd = name != nullptr ? etd_find(name) : nullptr;
  return etd != nullptr && (etd->flags & 0x80) && etd->model != nullptr &&
         !(etd->model[0].flags & kContentEmpty);
}

void external_reference(const DataEntity& de) {
  meet_entity(de.name);
  put('&');
  put_name(de.name);
  put(';');
}

void start_tag(const EventTagRecord& tag) {
  line_break();
  put('<');
  put_name(tag.name);
  if (tag.attributes != nullptr) write_attributes(tag.attributes);
  put('>');
}

void end_tag(const EventTagRecord& tag) {
  if (!end_tag_written(tag.name)) return;
  put('<');
  put('/');
  put_name(tag.name);
  put('>');
}

void instruction(const EventDataRecord& data) {
  line_break();
  vqio_fputs("<? ", out());
  put_text(data.text, static_cast<size_t>(data.length));
  put('>');
}

// A subdocument: the child writes its own normalized output, nothing
// brackets it; a line break first when data was written since the last one.
void subdocument(const DataEntity& de) {
  if (front_state().suppress == 0) {
    if (norm.data_written) line_break();
    norm.data_written = false;
    vqio_fflush(out());
  }
  subdoc_run(name_chars(de.name), de.files);
}

// Application information is not written.
const EventWriter kNormalizeWriter = {data_item, external_reference, subdocument, start_tag,
                                      end_tag,   instruction,        nullptr};

}  // namespace

void normalize_text(std::string& s, const unsigned char* t, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    i = append_plain_run(s, t, i, n, kPlain.data());
    if (i >= n) break;
    unsigned c = t[i];
    if (c == 31) {
      if (i + 1 >= n) break;
      c = (t[++i] - 64u) & 0xFFu;
    }
    if (c == kRE) {
      s += '\n';
    } else if (c != '\n') {
      s += static_cast<char>(c);
    }
  }
}

void normalize_event(int code, const EventTagRecord& tag, const EventDataRecord& data) {
  event_write(kNormalizeWriter, code, tag, data);
}

void normalize_mode() {
  writing_output_buffer();
  EventDataRecord data;
  EventTagRecord tag;
  for (;;) {
    const int code = sgml_next_event_ext(&data, &tag);
    if (code == PARSE_END) break;
    normalize_event(code, tag, data);
  }
  put('\n');
}
