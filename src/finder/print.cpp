// Print mode: one line per start tag, attribute and end tag with the byte
// offsets the parser recorded for it, followed by an excerpt of the
// document entity's bytes between those offsets. Data, record ends,
// processing instructions and application information print nothing.
//
// Excerpts are read from the document entity's own reader (a plain file,
// a fragmented text or a multi-file set), which is put back where the
// parser left it. A source that cannot tell its position (a pipe) gets no
// excerpts.
#include <algorithm>
#include <cstring>
#include <string>

#include "finder/finder.h"
#include "frgac/frgac.h"
#include "mfs/mfs.h"
#include "sgml/dtd.h"
#include "sgml/sgml.h"

namespace {

enum SourceKind { kPlain, kFragmented, kMultiFile };

// The document entity's reader, addressed by document offsets.
struct ExcerptSource {
  SourceKind kind = kPlain;
  VqStream* stream = nullptr;
  FrgacText* text = nullptr;
  MfsReader* reader = nullptr;
  long noted = 0;  // where the parser left the reader, in the reader's addresses
  bool own = false;  // a stream opened here (the document's file is closed)
};

// The reader of the outermost document entity and its position; false when
// there is none or its position cannot be told.
bool source_note(ExcerptSource* s) {
  EntityLocation where;
  if (entity_location(0, &where) == 0 || where.doc == nullptr) return false;
  if (doc_fragment_handle(where.doc, &s->text) == 1) {
    s->kind = kFragmented;
    // The logical address of the next byte (addresses start at 1).
    s->noted = s->text->position + (s->text->buffer_count > 0 ? s->text->buffer_index : 0);
    return true;
  }
  if (doc_mfs_reader(where.doc, &s->reader) == 1) {
    s->kind = kMultiFile;
    s->noted = mfs_file_tell(s->reader);
    return true;
  }
  s->kind = kPlain;
  s->stream = doc_stream(where.doc);
  if (s->stream == nullptr) {
    // While an external entity is read the document's file is closed:
    // its bytes are read through a stream of their own.
    const char* name = doc_name(where.doc);
    if (name == nullptr || *name == '\0' || std::strcmp(name, kDocStdinName) == 0) return false;
    s->stream = vqio_fopen(name, "r");
    if (s->stream == nullptr) return false;
    s->own = true;
    return true;
  }
  s->noted = vqio_ftell(s->stream);
  return s->noted >= 0;
}

// Positions the reader at a document offset: false when it cannot.
bool source_seek(ExcerptSource* s, long offset) {
  if (offset < 0) return false;
  switch (s->kind) {
    case kFragmented:
      // Offsets count from 0, the text's addresses from 1.
      if (offset + 1 > s->text->header[FRG_LOGICAL_LENGTH]) return false;
      frgacsk(s->text, offset + 1);
      return true;
    case kMultiFile:
      return offset < mfs_file_length(s->reader) && mfs_file_seek(s->reader, static_cast<int32_t>(offset)) >= 0;
    case kPlain:
      return vqio_fseek(s->stream, offset, SEEK_SET) == 0;
  }
  return false;
}

int source_getc(ExcerptSource* s) {
  switch (s->kind) {
    case kFragmented: return frgacgc(s->text);
    case kMultiFile: return mfs_file_getc(s->reader);
    case kPlain: return vqio_getc(s->stream);
  }
  return -1;
}

// Puts the reader back where the parser left it. A reader that stood at
// the end of its text is set on the last byte and that byte taken, so that
// its next read ends the text again instead of giving the byte twice.
void source_restore(ExcerptSource* s) {
  switch (s->kind) {
    case kFragmented: {
      const long length = s->text->header[FRG_LOGICAL_LENGTH];
      if (length < 1) return;
      if (s->noted <= length) {
        frgacsk(s->text, std::max(s->noted, 1L));
      } else {
        frgacsk(s->text, length);
        frgacgc(s->text);
      }
      break;
    }
    case kMultiFile: {
      const int32_t length = mfs_file_length(s->reader);
      if (length < 1) return;
      if (s->noted < length) {
        mfs_file_seek(s->reader, static_cast<int32_t>(s->noted));
      } else {
        mfs_file_seek(s->reader, length - 1);
        mfs_file_getc(s->reader);
      }
      break;
    }
    case kPlain:
      if (s->own) {
        vqio_fclose(s->stream);
        s->stream = nullptr;
      } else {
        vqio_fseek(s->stream, s->noted, SEEK_SET);
      }
      break;
  }
}

// Copies up to count bytes from offset; a newline is written as "\n\".
void copy_bytes(VqStream* out, ExcerptSource* s, long offset, long count) {
  if (!source_seek(s, offset)) return;
  for (long i = 0; i < count; ++i) {
    int c = source_getc(s);
    if (c < 0) return;
    if (c == '\n') {
      vqio_fputs("\\n\\", out);
    } else {
      vqio_putc(c, out);
    }
  }
}

const char* name_or_empty(const unsigned char* counted) {
  return counted != nullptr ? reinterpret_cast<const char*>(counted + 1) : "";
}

}  // namespace

void print_excerpt(VqStream* out, int width, long start, long end) {
  ExcerptSource s;
  if (!source_note(&s)) return;
  vqio_fputs("-->[", out);
  const long span = end - start;
  if (span < 0) {
    vqio_fputs("NIL", out);
  } else if (span < width) {
    copy_bytes(out, &s, start, span + 1);
  } else {
    copy_bytes(out, &s, start, width / 2);
    vqio_fputs("....", out);
    copy_bytes(out, &s, end - width / 2 + 1, width / 2);
  }
  vqio_fputs("]", out);
  source_restore(&s);
  vqio_fflush(out);
}

void print_attributes(VqStream* out, int width, const std::string& indent,
                      const AttributeList* list) {
  const int32_t n = list[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    if (!(a.flags & (ATT_GIVEN_BAD | ATT_DEFAULT_BAD))) {
      const char* kind = a.value == nullptr        ? "IMPLIED"
                         : a.declared > DV_NUTOKEN ? "TOKEN_LIST"
                                                   : "TOKEN";
      vqio_fprintf(out, "\n%s     %s %s %d:%d]", indent.c_str(), name_or_empty(a.name), kind,
                   static_cast<int>(a.value_start), static_cast<int>(a.value_end));
      print_excerpt(out, width, a.value_start, a.value_end);
    }
    if (a.flags & ATT_GROUP) i += a.count;
  }
}

void print_event(VqStream* out, int width, int event, const EventTagRecord& tag,
                 const EventDataRecord&) {
  const int level = open_element_level();
  int blanks = level - 1;
  if (event == PARSE_END_TAG && level > 0) ++blanks;
  const std::string indent(static_cast<size_t>(std::max(blanks, 0)), ' ');
  if (event == PARSE_START_TAG) {
    if (tag.attributes != nullptr) {
      vqio_fprintf(out, "\n%s[ATT %s", indent.c_str(), name_or_empty(tag.name));
      print_attributes(out, width, indent, tag.attributes);
    }
    const OpenElement* e = open_element_at(level);
    if (e != nullptr) {
      const long start = e->start;
      const long end = start + e->start_length;
      vqio_fprintf(out, "\n%s[STG %s %d:%d]", indent.c_str(), name_or_empty(tag.name),
                   static_cast<int>(start), static_cast<int>(end));
      print_excerpt(out, width, start, end);
    }
  } else if (event == PARSE_END_TAG) {
    const OpenElement* e = open_element_at(level + 1);
    if (e != nullptr) {
      vqio_fprintf(out, "\n%s[ETG %s %d:%d]", indent.c_str(), name_or_empty(tag.name),
                   static_cast<int>(e->start), static_cast<int>(e->end));
      print_excerpt(out, width, e->start, e->end);
    }
  }
  vqio_fflush(out);
}

void print_mode() {
  EventDataRecord data;
  EventTagRecord tag;
  for (int event; (event = sgml_next_event_ext(&data, &tag)) != PARSE_END;) {
    print_event(vqio_stdout, PRINT_WIDTH, event, tag, data);
  }
  vqio_fputs("\n", vqio_stdout);
}
