// Tag stream: reading tokens, their ids and texts, and raw bytes.
//
// The scanning loops are instantiated once for input through a stream of
// the I/O layer (the inline vqio_getc fast path) and once for a read
// callback, so that each byte costs one read and one table look-up.
#include <cstring>

#include "sinsi/sinsi.h"

namespace {

struct FromStream {
  static int get(SinsiStream* s) { return vqio_getc(static_cast<VqStream*>(s->input)); }
};
struct FromCallback {
  static int get(SinsiStream* s) {
    int c = s->read(s->input);
    return c < 0 ? -1 : (c & 0xFF);
  }
};

bool has_input(const SinsiStream* s) {
  return s != nullptr && (s->input != nullptr || s->read != nullptr);
}

void clear_token(SinsiStream* s) {
  s->id = -1;
  s->length = 0;
  s->delimiters = nullptr;
  s->states = nullptr;
  s->text_position = 0;
}

// A text run after its first byte: up to the buffer size, the end of input,
// or an opening character, which is pushed back.
template <class In>
int read_text(SinsiStream* s) {
  size_t n = s->length;
  while (n < SINSI_BUFSIZE) {
    int c = In::get(s);
    if (c < 0) {
      s->at_end = 1;
      break;
    }
    if (s->set_states[c] != nullptr) {
      s->pushed_back = c;
      break;
    }
    s->buffer[n++] = static_cast<unsigned char>(c);
  }
  s->length = n;
  return SINSI_TEXT;
}

// Runs the set's state machine over the bytes after the opening character.
// Returns the final state: a done state, or the error state for a bad byte,
// the end of input, or a tag reaching the buffer size.
template <class In>
int scan_tag(SinsiStream* s, const SinsiStateTable* table) {
  size_t n = s->length;
  int state = SINSI_ST_OPEN;
  for (;;) {
    int c = In::get(s);
    if (c < 0) {
      state = SINSI_ST_ERROR;
      break;
    }
    s->buffer[n++] = static_cast<unsigned char>(c);
    state = table->next[state][c];
    if (n == SINSI_BUFSIZE) {
      state = SINSI_ST_ERROR;
      break;
    }
    if (state >= SINSI_ST_DONE_START) break;
  }
  s->length = n;
  return state;
}

// Kind of a completed tag, with its name looked up in the set's table.
int finish_tag(SinsiStream* s, int state) {
  const unsigned char* b = s->buffer;
  size_t n = s->length;
  size_t from = 1, to = n - 1;  // name is b[from, to)
  if (state == SINSI_ST_DONE_END) {
    from = 2;
  } else if (state == SINSI_ST_DONE_START_ATTRS) {
    to = from;
    while (to < n - 1 && !sinsi_is_blank(b[to])) ++to;
  }
  const SinsySymtab* names = s->set_names[b[0]];
  s->id = sinsyidn(names, reinterpret_cast<const char*>(b + from), to - from);
  int kind = state == SINSI_ST_DONE_END ? SINSI_END_TAG : SINSI_START_TAG;
  return s->id == -1 ? kind + 1 : kind;
}

template <class In>
int next_token(SinsiStream* s, int* status) {
  int c = s->pushed_back;
  if (c >= 0)
    s->pushed_back = -1;
  else
    c = In::get(s);
  if (c < 0) {
    s->at_end = 1;
    *status = SINSI_END;
    return SINSI_EOF;
  }
  s->buffer[0] = static_cast<unsigned char>(c);
  s->length = 1;
  *status = SINSI_OK;
  const SinsiStateTable* table = s->set_states[c];
  if (table == nullptr) return read_text<In>(s);

  s->states = table;
  s->delimiters = s->set_delimiters[c];
  int state = scan_tag<In>(s, table);
  if (state != SINSI_ST_ERROR) return finish_tag(s, state);

  // A malformed tag. When it was ended by an opening character, that byte
  // starts the next token; the tag's own first byte always stays, so that
  // reading moves on.
  if (s->length > 1 && s->set_states[s->buffer[s->length - 1]] != nullptr) {
    s->pushed_back = s->buffer[s->length - 1];
    --s->length;
  }
  *status = SINSI_BAD;
  return SINSI_MALFORMED;
}

}  // namespace

int sinsint(SinsiStream* s, size_t* length, int* status) {
  int ignored;
  if (status == nullptr) status = &ignored;
  if (s == nullptr) {
    *status = SINSI_NO_IO;
    if (length != nullptr) *length = 0;
    return SINSI_EOF;
  }
  clear_token(s);
  int kind;
  if (s->at_end) {
    *status = has_input(s) ? SINSI_END : SINSI_NO_IO;
    kind = SINSI_EOF;
  } else if (s->read != nullptr) {
    kind = next_token<FromCallback>(s, status);
  } else {
    kind = next_token<FromStream>(s, status);
  }
  if (length != nullptr) *length = s->length;
  return kind;
}

int32_t sinsigt(SinsiStream* s, const SinsiDelimiters** delimiters, int* status) {
  if (s == nullptr) {
    if (delimiters != nullptr) *delimiters = nullptr;
    if (status != nullptr) *status = SINSI_NO_IO;
    return -1;
  }
  if (delimiters != nullptr) *delimiters = s->delimiters;
  int st = SINSI_OK;
  if (!has_input(s))
    st = SINSI_NO_IO;
  else if (s->id == -1 && s->at_end)
    st = SINSI_END;
  if (status != nullptr) *status = st;
  return s->id;
}

int sinsigx(SinsiStream* s, char* buffer, size_t* size) {
  if (!has_input(s)) {
    *size = 0;
    buffer[0] = '\0';
    return SINSI_NO_IO;
  }
  size_t n = s->length < *size ? s->length : *size;
  std::memcpy(buffer, s->buffer, n);
  buffer[n] = '\0';
  *size = n;
  return n == 0 && s->at_end ? SINSI_END : SINSI_OK;
}

int sinsirx(SinsiStream* s, char* buffer, size_t* size) {
  size_t want = *size;
  *size = 0;
  buffer[0] = '\0';
  if (!has_input(s)) return SINSI_NO_IO;
  clear_token(s);
  size_t n = 0;
  if (n < want && s->pushed_back >= 0) {
    buffer[n++] = static_cast<char>(s->pushed_back);
    s->pushed_back = -1;
  }
  while (n < want && !s->at_end) {
    int c = s->read != nullptr ? FromCallback::get(s) : FromStream::get(s);
    if (c < 0)
      s->at_end = 1;
    else
      buffer[n++] = static_cast<char>(c);
  }
  buffer[n] = '\0';
  *size = n;
  return n == 0 && want > 0 && s->at_end ? SINSI_END : SINSI_OK;
}
