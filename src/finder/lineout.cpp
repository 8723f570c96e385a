// Line-format output (the vesk mode): the parse of a document as lines on
// standard output, one item a line, each opened by its command character:
//   ( start tag   ) end tag   A attribute   D data attribute   - data
//   & external data entity reference   ? processing instruction
//   # application information   N notation   E external data entity
//   I internal data entity   S subdocument entity   L line number
//   { } around the lines of a subdocument's child, with the entity's name.
// Consecutive data, SDATA and record ends share one "-" line, which is
// ended only when another line starts (and never at the end of the run).
// Each entity and notation definition is written once per run, before the
// first line that names it, guarded by the parser's written marks.
#include <array>
#include <cstring>
#include <string>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"

namespace {

constexpr unsigned char kRE = 13;

struct LineoutState {
  bool data_line_open = false;  // a "-" line was begun and not ended
  unsigned long last_line = 0;  // for the L lines only
  bool have_file = false;       // a file name was written on an L line
  std::string last_file;
};
LineoutState lo;

VqStream* out() { return vqio_stdout; }

void put(int c) { vqio_putc(c, out()); }

// Bytes written as they are on a "-" line: printable (32 to 126) and not a
// backslash. Runs of them are copied at once.
constexpr std::array<bool, 256> plain_bytes() {
  std::array<bool, 256> plain{};
  for (unsigned c = 32; c <= 126; ++c) plain[c] = c != '\\';
  return plain;
}
constexpr std::array<bool, 256> kPlain = plain_bytes();

// A backslash doubled, bytes 32 to 126 as they are, others in octal.
void append_byte(std::string& s, unsigned c) {
  if (c == '\\') {
    s += "\\\\";
  } else if (c >= 32 && c <= 126) {
    s += static_cast<char>(c);
  } else {
    s += '\\';
    s += static_cast<char>('0' + ((c >> 6) & 7));
    s += static_cast<char>('0' + ((c >> 3) & 7));
    s += static_cast<char>('0' + (c & 7));
  }
}

// Escaped texts are formed here and then written.
std::string scratch;
void write_scratch() { vqio_fwrite(scratch.data(), 1, scratch.size(), out()); }

void put_data(const unsigned char* t, size_t n, bool sdata) {
  scratch.clear();
  lineout_escape_data(scratch, t, n, sdata);
  write_scratch();
}

// A NUL-separated list ended by an empty name, names separated by a blank.
void put_name_list(const char* list) {
  if (list == nullptr) return;
  scratch.clear();
  for (const char* p = list; *p != '\0'; p += std::strlen(p) + 1) {
    if (p != list) scratch += ' ';
    lineout_escape_name(scratch, p);
  }
  write_scratch();
}

// An element or entity name, as it is.
void put_name(const unsigned char* counted) { vqio_fputs(name_chars(counted), out()); }

void end_data_line() {
  if (!lo.data_line_open) return;
  put('\n');
  lo.data_line_open = false;
}

// An L line when the innermost external entity's line or file changed.
void line_check() {
  if (!front_state().line_numbers) return;
  long line = 0;
  const char* name = nullptr;
  if (!current_file_location(&line, &name)) return;
  if (name == nullptr) name = "";
  const bool new_file = !lo.have_file || lo.last_file != name;
  const auto number = static_cast<unsigned long>(line);
  if (!new_file && number == lo.last_line) return;
  end_data_line();
  vqio_fprintf(out(), "L%lu", number);
  if (new_file) {
    put(' ');
    scratch.clear();
    lineout_escape_name(scratch, name);
    write_scratch();
    lo.last_file = name;
    lo.have_file = true;
  }
  put('\n');
  lo.last_line = number;
}

// One data item on the current "-" line.
void data_item(const unsigned char* t, size_t n, bool sdata) {
  if (n == 0 && !sdata) return;
  if (n == 1 && t[0] == kRE) {
    ++lo.last_line;
  } else {
    line_check();
  }
  if (!lo.data_line_open) put('-');
  put_data(t, n, sdata);
  lo.data_line_open = true;
}

const char* type_word(uint8_t kind) {
  switch (kind) {
    case DV_GROUP: case DV_NAME: case DV_NMTOKEN: case DV_NUMBER: case DV_NUTOKEN:
    case DV_NAMES: case DV_NMTOKENS: case DV_NUMBERS: case DV_NUTOKENS:
      return "TOKEN";
    case DV_NOTATION:
      return "NOTATION";
    case DV_CDATA:
      return "CDATA";
    case DV_ENTITY: case DV_ENTITIES:
      return "ENTITY";
    case DV_ID:
      return "ID";
    case DV_IDREF: case DV_IDREFS:
      return "IDREF";
    default:
      return "INVALID";
  }
}

void write_notation(NotationRecord* n) {
  if (n == nullptr || n->output_mark) return;
  n->output_mark = 1;
  end_data_line();
  vqio_fprintf(out(), "N%s ", name_chars(n->name));
  put_name_list(n->identifiers);
  put('\n');
}

void write_attributes(const AttributeList* list, const unsigned char* entity);

// The definition of the entity named by the counted name, once per run.
void write_definition(const unsigned char* name) {
  if (sgml_entity_mark(name) != 0) return;
  void* record = nullptr;
  const unsigned char* text = nullptr;
  const int kind = sgml_entity_info(name, &record, &text);
  if (kind == 1) {
    const auto* de = static_cast<const DataEntity*>(record);
    if (de == nullptr) return;
    end_data_line();
    if (de->kind == 4) {
      vqio_fprintf(out(), "S%s ", name_chars(name));
      put_name_list(de->files);
      put('\n');
      return;
    }
    // An external entity without a data notation has nothing to define.
    if (de->notation == nullptr) return;
    write_notation(de->notation);
    if (de->kind >= 1 && de->kind <= 3) {
      static const char* const kTypes[] = {"", "CDATA", "NDATA", "SDATA"};
      vqio_fprintf(out(), "E%s %s %s ", name_chars(name), kTypes[de->kind],
                   name_chars(de->notation->name));
      put_name_list(de->files);
      put('\n');
    }
    if (de->attributes != nullptr) write_attributes(de->attributes, name);
  } else if (kind == 2 || kind == 3) {
    const EntityRecord* rec = entfind(name);
    end_data_line();
    vqio_fprintf(out(), "I%s %s ", name_chars(name), kind == 3 ? "SDATA" : "CDATA");
    if (rec != nullptr) put_data(rec->text, static_cast<size_t>(rec->text_len), false);
    put('\n');
  }
}

// The head of an A line, or of a D line when entity is given.
void attribute_head(const unsigned char* entity, const AttributeList& a, const char* word) {
  end_data_line();
  if (entity != nullptr) {
    vqio_fprintf(out(), "D%s %s %s", name_chars(entity), name_chars(a.name), word);
  } else {
    vqio_fprintf(out(), "A%s %s", name_chars(a.name), word);
  }
}

// A counted token as " token", escaped as data.
void put_token(const unsigned char* token) {
  put(' ');
  put_data(token + 1, static_cast<size_t>(token[0] - 2), false);
}

// A lines of a start tag (entity null) or D lines of an entity's data
// attributes.
void write_attributes(const AttributeList* list, const unsigned char* entity) {
  const int32_t n = list[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    const int32_t skip = (a.flags & ATT_GROUP) ? a.count : 0;
    if (a.flags & (ATT_GIVEN_BAD | ATT_DEFAULT_BAD)) {
      i += skip;
      continue;
    }
    if (a.value == nullptr) {
      attribute_head(entity, a, "IMPLIED");
      put('\n');
    } else if (a.declared > DV_NUTOKEN) {
      if (a.declared == DV_ENTITIES) {
        for (int32_t p = 0, k = 0; k < a.count && p < a.value_length; ++k) {
          write_definition(a.value + p);
          p += a.value[p];
        }
      }
      attribute_head(entity, a, type_word(a.declared));
      for (int32_t p = 0, k = 0; k < a.count && p < a.value_length; ++k) {
        put_token(a.value + p);
        p += a.value[p];
      }
      put('\n');
    } else {
      // A tokenized value may hold no token (a default left empty).
      const bool token = a.declared != DV_CDATA && a.value_length >= 2 && a.value[0] >= 2 &&
                         a.value[0] <= a.value_length;
      if (a.declared == DV_NOTATION) write_notation(attribute_notation(a));
      if (a.declared == DV_ENTITY && token) write_definition(a.value);
      attribute_head(entity, a, type_word(a.declared));
      if (a.declared == DV_CDATA) {
        put(' ');
        put_data(a.value, static_cast<size_t>(a.value_length), false);
      } else if (token) {
        put_token(a.value);
      }
      put('\n');
    }
    i += skip;
  }
}

// A line of one command character and escaped text: "?" and "#".
void text_line(char command, const EventDataRecord& data) {
  end_data_line();
  line_check();
  put(command);
  put_data(data.text, static_cast<size_t>(data.length), false);
  put('\n');
}

void external_reference(const DataEntity& de) {
  write_definition(de.name);
  end_data_line();
  line_check();
  put('&');
  put_name(de.name);
  put('\n');
}

void start_tag(const EventTagRecord& tag) {
  if (tag.attributes != nullptr) write_attributes(tag.attributes, nullptr);
  end_data_line();
  line_check();
  put('(');
  put_name(tag.name);
  put('\n');
}

void end_tag(const EventTagRecord& tag) {
  end_data_line();
  put(')');
  put_name(tag.name);
  put('\n');
}

void instruction(const EventDataRecord& data) { text_line('?', data); }
void appinfo(const EventDataRecord& data) { text_line('#', data); }

// A subdocument: its child writes its own lines (with its own L and
// definition state) between "{name" and "}name"; under -s the child still runs but
// no bracket is written. The next L line names its file again.
void subdocument(const DataEntity& de) {
  const bool write = front_state().suppress == 0;
  if (write) {
    end_data_line();
    line_check();
    put('{');
    put_name(de.name);
    put('\n');
    vqio_fflush(out());
  }
  subdoc_run(name_chars(de.name), de.files);
  if (write) {
    put('}');
    put_name(de.name);
    put('\n');
  }
  lo.have_file = false;
  lo.last_file.clear();
}

const EventWriter kLineWriter = {data_item, external_reference, subdocument, start_tag,
                                 end_tag,   instruction,        appinfo};

}  // namespace

void lineout_escape_data(std::string& s, const unsigned char* t, size_t n, bool sdata) {
  if (sdata) s += "\\|";
  for (size_t i = 0; i < n; ++i) {
    i = append_plain_run(s, t, i, n, kPlain.data());
    if (i >= n) break;
    unsigned c = t[i];
    if (c == 30) {
      if (!sdata) s += "\\|";
      continue;
    }
    if (c == 29) continue;
    if (c == 31) {
      if (i + 1 >= n) break;
      c = (t[++i] - 64u) & 0xFFu;
    }
    if (c == kRE) {
      s += "\\n";
    } else if (c != '\n') {  // a line feed never reaches the output
      append_byte(s, c);
    }
  }
  if (sdata) s += "\\|";
}

void lineout_escape_name(std::string& s, const char* name) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
    const unsigned c = *p;
    if (c == ' ') {
      s += "\\s";
    } else if (c == '\n') {
      s += "\\n";
    } else {
      append_byte(s, c);
    }
  }
}

void lineout_run() {
  writing_output_buffer();
  EventDataRecord data;
  EventTagRecord tag;
  for (;;) {
    const int code = sgml_next_event(&data, &tag);
    if (code == PARSE_END) return;
    event_write(kLineWriter, code, tag, data);
  }
}
