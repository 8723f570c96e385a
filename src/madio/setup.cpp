// Opening and closing a MadStream, and copying token text.
#include <cstdlib>
#include <vector>

#include "madio/madio.h"
#include "msg/msg.h"

namespace {

MadStream* open_stream(void* input, void* output, SinsiReadFn read, SinsiWriteFn write,
                       const char* const* names, const int32_t* ids,
                       const SinsiDelimiters* delimiters, MadFilter filter) {
  SinsiStream* tags = sinsios(input, output, read, write);
  if (!tags) return nullptr;
  if (sinsidt(tags, names, ids, delimiters) != 0) {
    vq_report(0, "%s: Failed to define the tags", "madioss");
    sinsicl(tags);
    return nullptr;
  }
  MadStream* stream =
      static_cast<MadStream*>(vq_malloc(1, sizeof(MadStream), __LINE__, "madio/Setup.c"));
  stream->filter = filter;
  stream->tags = tags;
  stream->delimiters = delimiters;
  stream->table = nullptr;
  stream->table_rows = 0;
  return stream;
}

}  // namespace

MadStream* madioss(void* input, void* output, SinsiReadFn read, SinsiWriteFn write,
                   const DdTagInfo* table, const SinsiDelimiters* delimiters,
                   MadFilter filter) {
  if (!table) return nullptr;
  std::vector<const char*> names;
  std::vector<int32_t> ids;
  int32_t rows = 0;
  for (; table[rows].id >= 0; ++rows) {
    if (table[rows].id != rows)
      vq_report(15, "madioss: Inconsistency in tag information at tag %d", rows);
    names.push_back(table[rows].name);
    ids.push_back(table[rows].id);
  }
  names.push_back(nullptr);
  MadStream* stream =
      open_stream(input, output, read, write, names.data(), ids.data(), delimiters, filter);
  if (stream) {
    stream->table = table;
    stream->table_rows = rows;
  }
  return stream;
}

MadStream* madiosu(void* input, void* output, SinsiReadFn read, SinsiWriteFn write,
                   const char* const* names, const int32_t* ids,
                   const SinsiDelimiters* delimiters, MadFilter filter) {
  if (!names || !ids) return nullptr;
  return open_stream(input, output, read, write, names, ids, delimiters, filter);
}

int madiocl(MadStream* stream) {
  if (!stream) return 0;
  const int status = sinsicl(stream->tags);
  free(stream);
  return status;
}

int madioat(SinsiStream* tags, std::string& buffer, size_t count) {
  const size_t old = buffer.size();
  buffer.resize(old + count + 1);
  size_t copied = count;
  const int status = sinsigx(tags, &buffer[old], &copied);
  buffer.resize(old + (status == 0 ? copied : 0));
  if (status != 0) vq_report(status, "%s: Couldn't get text", "madioat");
  return status;
}
