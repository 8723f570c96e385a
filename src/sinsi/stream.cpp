// Tag stream: opening, closing and defining delimiter sets with their names.
#include <cstdlib>
#include <cstring>

#include "msg/msg.h"
#include "sinsi/sinsi.h"

namespace {

// A name sinsidt accepts: at most 256 bytes, none of them a delimiter of
// the set or the byte 255.
bool good_name(const char* name, const SinsiDelimiters* d) {
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p, ++n) {
    if (n >= SINSI_MAX_NAME) return false;
    if (*p == d->open || *p == d->close || (d->end != 0 && *p == d->end) || *p == 255)
      return false;
  }
  return true;
}

// Creates the delimiter record, symbol table and state table of a new set;
// false after an allocation failure (reported through the hook).
bool create_set(SinsiStream* s, const SinsiDelimiters* d) {
  bool first = true;
  for (int c = 0; c < 256; ++c)
    if (s->set_states[c] != nullptr) first = false;
  auto* record = static_cast<SinsiDelimiters*>(
      vq_malloc(1, sizeof(SinsiDelimiters), __LINE__, "sinsi/DefTags.c"));
  auto* states = static_cast<SinsiStateTable*>(
      vq_malloc(1, sizeof(SinsiStateTable), __LINE__, "sinsi/DefTags.c"));
  SinsySymtab* names = sinsycr();
  if (record == nullptr || states == nullptr || names == nullptr) {
    std::free(record);
    std::free(states);
    sinsyfr(names);
    return false;
  }
  *record = *d;
  sinsi_build_states(d, states);
  s->set_delimiters[d->open] = record;
  s->set_states[d->open] = states;
  s->set_names[d->open] = names;
  s->only_open = first ? d->open : -1;
  return true;
}

// A new stream without input or output; null after an allocation failure.
SinsiStream* new_stream() {
  auto* s = static_cast<SinsiStream*>(
      vq_calloc(1, sizeof(SinsiStream), __LINE__, "sinsi/OpenStream.c"));
  if (s == nullptr) return nullptr;
  s->id = -1;
  s->pushed_back = -1;
  s->only_open = -1;
  return s;
}

}  // namespace

SinsiStream* sinsios(void* input, void* output, SinsiReadFn read, SinsiWriteFn write) {
  if (input == nullptr && output == nullptr && read == nullptr && write == nullptr)
    return nullptr;
  SinsiStream* s = new_stream();
  if (s == nullptr) return nullptr;
  s->input = input;
  s->output = output;
  s->read = read;
  s->write = write;
  s->at_end = (input == nullptr && read == nullptr) ? 1 : 0;
  return s;
}

SinsiStream* sinsiob(void* handle, SinsiBlockFn fill) {
  if (fill == nullptr) return nullptr;
  SinsiStream* s = new_stream();
  if (s == nullptr) return nullptr;
  s->input = handle;
  s->fill = fill;
  return s;
}

int sinsicl(SinsiStream* s) {
  if (s == nullptr) return SINSI_OK;
  int status = sinsifs(s) == SINSI_FAILED ? SINSI_FAILED : SINSI_OK;
  for (int c = 0; c < 256; ++c) {
    std::free(s->set_states[c]);
    std::free(s->set_delimiters[c]);
    sinsyfr(s->set_names[c]);
  }
  sinsyfr(s->attribute_names);
  std::free(s);
  return status;
}

int sinsidt(SinsiStream* s, const char* const* names, const int32_t* ids,
            const SinsiDelimiters* d) {
  if (s == nullptr || names == nullptr || ids == nullptr || d == nullptr) return SINSI_BAD;
  for (size_t i = 0; names[i] != nullptr; ++i)
    if (!good_name(names[i], d) || ids[i] == -1) return SINSI_BAD;

  const SinsiDelimiters* known = s->set_delimiters[d->open];
  if (known == nullptr) {
    if (!create_set(s, d)) return SINSI_FAILED;
  } else if (known->end != d->end || known->close != d->close) {
    return SINSI_CONFLICT;
  }
  return sinsyad(s->set_names[d->open], names, ids);
}
