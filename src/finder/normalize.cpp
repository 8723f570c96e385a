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
//
// The output parses again to the same document: where the content allows
// character references (all but CDATA declared content), data "<" and "&"
// are written as "&#60;" and "&#38;", the ">" of a "]]" as "&#62;", and a
// character that came as an escape pair (a non-SGML character, or a
// reference to a character below 33) other than a record end, a line feed,
// a tab or a blank as "&#N;"; in a double-quoted value "\"" and "&" are
// "&#34;" and "&#38;" and every escaped character "&#N;" (a tab or record
// end written as it is would read back as a blank).
#include <array>
#include <cstring>
#include <string>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"

namespace {

constexpr unsigned char kRE = 13;

struct NormalizeState {
  bool data_written = false;  // data was written since the last subdocument
};
NormalizeState norm;

VqStream* out() { return vqio_stdout; }
void put(int c) { vqio_putc(c, out()); }

// An element or entity name, as it is.
void put_name(const unsigned char* counted) { vqio_fputs(name_chars(counted), out()); }

// Bytes that normalize_text copies as they are, per kind of text: all but
// byte 31, a record end, a line feed and the bytes the kind writes as
// references. Runs of them are copied at once.
constexpr std::array<bool, 256> plain_bytes(const char* referenced) {
  std::array<bool, 256> plain{};
  for (unsigned c = 0; c < 256; ++c) plain[c] = c != 31 && c != kRE && c != '\n';
  for (const char* p = referenced; *p != '\0'; ++p) plain[static_cast<unsigned char>(*p)] = false;
  return plain;
}
constexpr std::array<bool, 256> kPlainAsIs = plain_bytes("");
constexpr std::array<bool, 256> kPlainContent = plain_bytes("<&>");
constexpr std::array<bool, 256> kPlainValue = plain_bytes("\"&");

void put_reference(std::string& s, unsigned c) {
  s += "&#";
  s += std::to_string(c);
  s += ';';
}

// Texts are formed here and then written.
std::string scratch;

void put_text(const unsigned char* t, size_t n, NormalizeText how) {
  scratch.clear();
  normalize_text(scratch, t, n, how);
  vqio_fwrite(scratch.data(), 1, scratch.size(), out());
}

// Data of the content is formed here. It keeps the last two bytes of the
// data written before, so that a "]]" and a ">" of two data items are seen
// together; markup written between them clears it.
std::string content_text;
void markup_follows() { content_text.clear(); }

// Character references are not recognized in CDATA declared content.
bool references_allowed() {
  const OpenElement* e = open_element_at(open_element_level());
  return e == nullptr || e->etd == nullptr || e->etd->model == nullptr ||
         !(e->etd->model[0].flags & CONTENT_CDATA);
}

// No line breaks are added in the filter mode and for meta documents.
void line_break() {
  const ModeOptions* o = mode_options;
  if (o != nullptr && (o->mode == kModeFilter || o->meta != 0)) return;
  put('\n');
}

void data_item(const unsigned char* t, size_t n, bool sdata) {
  if (n == 0 && !sdata) return;
  std::string& s = content_text;
  if (s.empty() || s.back() != ']') {
    s.clear();
  } else if (s.size() > 2) {
    s.erase(0, s.size() - 2);
  }
  const size_t from = s.size();
  normalize_text(s, t, n, kTextData);
  vqio_fwrite(s.data() + from, 1, s.size() - from, out());
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
    if (const EntityRecord* rec = entfind(name))
      put_text(rec->text, static_cast<size_t>(rec->text_len), kTextAsIs);
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
    const int32_t skip = (a.flags & ATT_GROUP) ? a.count : 0;
    i += skip;
    if ((a.flags & (ATT_GIVEN_BAD | ATT_DEFAULT_BAD)) || a.value == nullptr) continue;
    if (a.declared > DV_NUTOKEN) {
      if (a.declared == DV_ENTITIES) {
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
    const bool token = a.declared != DV_CDATA && a.value_length >= 2 && a.value[0] >= 2 &&
                       a.value[0] <= a.value_length;
    if (a.declared == DV_NOTATION) {
      if (NotationRecord* notation = attribute_notation(a)) notation->output_mark = 1;
    }
    if (a.declared == DV_ENTITY && token) meet_entity(a.value);
    attribute_head(a);
    if (a.declared == DV_CDATA) {
      put_text(a.value, static_cast<size_t>(a.value_length), kTextValue);
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
  return etd != nullptr && (etd->flags & ETD_DECLARED) && etd->model != nullptr &&
         !(etd->model[0].flags & CONTENT_EMPTY);
}

void external_reference(const DataEntity& de) {
  markup_follows();
  meet_entity(de.name);
  put('&');
  put_name(de.name);
  put(';');
}

void start_tag(const EventTagRecord& tag) {
  markup_follows();
  line_break();
  put('<');
  put_name(tag.name);
  if (tag.attributes != nullptr) write_attributes(tag.attributes);
  put('>');
}

void end_tag(const EventTagRecord& tag) {
  if (!end_tag_written(tag.name)) return;
  markup_follows();
  put('<');
  put('/');
  put_name(tag.name);
  put('>');
}

void instruction(const EventDataRecord& data) {
  markup_follows();
  line_break();
  vqio_fputs("<? ", out());
  put_text(data.text, static_cast<size_t>(data.length), kTextAsIs);
  put('>');
}

// A subdocument: the child writes its own normalized output, nothing
// brackets it; a line break first when data was written since the last one.
void subdocument(const DataEntity& de) {
  if (front_state().suppress == 0) {
    if (norm.data_written) line_break();
    norm.data_written = false;
    markup_follows();
    vqio_fflush(out());
  }
  subdoc_run(name_chars(de.name), de.files);
}

// Application information is not written.
const EventWriter kNormalizeWriter = {data_item, external_reference, subdocument, start_tag,
                                      end_tag,   instruction,        nullptr};

}  // namespace

void normalize_text(std::string& s, const unsigned char* t, size_t n, NormalizeText how) {
  const bool* plain = how == kTextContent || how == kTextData ? kPlainContent.data()
                      : how == kTextValue                     ? kPlainValue.data()
                                                              : kPlainAsIs.data();
  for (size_t i = 0; i < n; ++i) {
    i = append_plain_run(s, t, i, n, plain);
    if (i >= n) break;
    unsigned c = t[i];
    // The open element's declared content is looked at only when a byte
    // may need a reference.
    if (how == kTextData && c != kRE && c != '\n') {
      how = references_allowed() ? kTextContent : kTextAsIs;
      if (how == kTextAsIs) plain = kPlainAsIs.data();
    }
    if (c == 31) {
      if (i + 1 >= n) break;
      c = (t[++i] - 64u) & 0xFFu;
      const bool as_is = how == kTextAsIs || (how == kTextContent && (c == '\t' || c == ' ' ||
                                                                       c == kRE || c == '\n'));
      if (!as_is) {
        put_reference(s, c);
        continue;
      }
    } else if (how == kTextContent) {
      if (c == '<' || c == '&') {
        put_reference(s, c);
        continue;
      }
      if (c == '>') {
        const size_t k = s.size();
        if (k >= 2 && s[k - 1] == ']' && s[k - 2] == ']') {
          put_reference(s, c);
        } else {
          s += '>';
        }
        continue;
      }
    } else if (how == kTextValue && (c == '"' || c == '&')) {
      put_reference(s, c);
      continue;
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
