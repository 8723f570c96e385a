// Tag stream: reading tokens, their ids and texts, and raw bytes.
//
// The scanning loops are instantiated for input through a stream of the I/O
// layer (the inline vqio_getc fast path), through a read callback and from
// blocks, so that each byte costs one read and one table look-up. A text
// run that is only counted (sinsins) is skipped with memchr when one
// delimiter set is defined and the input comes in blocks.
#include <algorithm>
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

struct FromBlock {
  // The next block, or false at the end of input.
  static bool refill(SinsiStream* s) {
    s->block_at = 0;
    s->block_have = s->fill(s->input, &s->block);
    return s->block_have > 0;
  }
  static int get(SinsiStream* s) {
    if (s->block_at < s->block_have || refill(s)) return s->block[s->block_at++];
    return -1;
  }
};

bool has_input(const SinsiStream* s) {
  return s != nullptr && (s->input != nullptr || s->read != nullptr || s->fill != nullptr);
}

void clear_token(SinsiStream* s) {
  s->id = -1;
  s->length = 0;
  s->delimiters = nullptr;
  s->states = nullptr;
  s->text_position = 0;
  s->text_not_kept = 0;
}

// A text run after its first byte: up to the end of input or an opening
// character, which is pushed back; a kept run also ends at the buffer size.
template <class In, bool Keep>
int read_text(SinsiStream* s) {
  size_t n = s->length;
  while (!Keep || n < SINSI_BUFSIZE) {
    int c = In::get(s);
    if (c < 0) {
      s->at_end = 1;
      break;
    }
    if (s->set_states[c] != nullptr) {
      s->pushed_back = c;
      break;
    }
    if (Keep) s->buffer[n] = static_cast<unsigned char>(c);
    ++n;
  }
  s->length = n;
  s->text_not_kept = Keep ? 0 : 1;
  return SINSI_TEXT;
}

// Bytes before the first opening character of from[0, left) (left when
// there is none).
size_t text_before_open(const SinsiStream* s, const unsigned char* from, size_t left) {
  if (s->only_open >= 0) {
    const void* hit = std::memchr(from, s->only_open, left);
    return hit != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - from)
                          : left;
  }
  size_t k = 0;
  while (k < left && s->set_states[from[k]] == nullptr) ++k;
  return k;
}

// A counted run from blocks: the opening character is left in the block
// for the next token.
template <>
int read_text<FromBlock, false>(SinsiStream* s) {
  for (;;) {
    if (s->block_at == s->block_have && !FromBlock::refill(s)) {
      s->at_end = 1;
      break;
    }
    const size_t left = s->block_have - s->block_at;
    const size_t k = text_before_open(s, s->block + s->block_at, left);
    s->length += k;
    s->block_at += k;
    if (k < left) break;
  }
  s->text_not_kept = 1;
  return SINSI_TEXT;
}

// After n bytes of a tag: true when the tag ends, in a done state or in the
// error state, which a tag reaching the buffer size is put in.
inline bool tag_ends(size_t n, int* state) {
  if (n == SINSI_BUFSIZE) *state = SINSI_ST_ERROR;
  return *state >= SINSI_ST_DONE_START;
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
    if (tag_ends(n, &state)) break;
  }
  s->length = n;
  return state;
}

// The same over blocks: the machine runs over the block in place, a quoted
// value is crossed with memchr (inside quotes only the closing quote
// changes the state), and the bytes taken are then copied to the buffer.
template <>
int scan_tag<FromBlock>(SinsiStream* s, const SinsiStateTable* table) {
  size_t n = s->length;
  int state = SINSI_ST_OPEN;
  for (;;) {
    if (s->block_at == s->block_have && !FromBlock::refill(s)) {
      state = SINSI_ST_ERROR;
      break;
    }
    const unsigned char* b = s->block + s->block_at;
    const size_t take = std::min(s->block_have - s->block_at, SINSI_BUFSIZE - n);
    size_t k = 0;
    while (k < take) {
      state = table->next[state][b[k++]];
      if (state == SINSI_ST_QUOTED) {
        const void* quote = std::memchr(b + k, '"', take - k);
        k = quote != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(quote) - b)
                             : take;
      } else if (state >= SINSI_ST_DONE_START) {
        break;
      }
    }
    std::memcpy(s->buffer + n, b, k);
    n += k;
    s->block_at += k;
    if (tag_ends(n, &state)) break;
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

template <class In, bool Keep>
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
  if (table == nullptr) return read_text<In, Keep>(s);

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

template <bool Keep>
int read_token(SinsiStream* s, size_t* length, int* status) {
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
  } else if (s->fill != nullptr) {
    kind = next_token<FromBlock, Keep>(s, status);
  } else if (s->read != nullptr) {
    kind = next_token<FromCallback, Keep>(s, status);
  } else {
    kind = next_token<FromStream, Keep>(s, status);
  }
  if (length != nullptr) *length = s->length;
  return kind;
}

}  // namespace

int sinsint(SinsiStream* s, size_t* length, int* status) {
  return read_token<true>(s, length, status);
}

int sinsins(SinsiStream* s, size_t* length, int* status) {
  return read_token<false>(s, length, status);
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
  size_t n = s->text_not_kept ? 0 : s->length < *size ? s->length : *size;
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
    int c = s->fill != nullptr   ? FromBlock::get(s)
            : s->read != nullptr ? FromCallback::get(s)
                                 : FromStream::get(s);
    if (c < 0)
      s->at_end = 1;
    else
      buffer[n++] = static_cast<char>(c);
  }
  buffer[n] = '\0';
  *size = n;
  return n == 0 && want > 0 && s->at_end ? SINSI_END : SINSI_OK;
}
