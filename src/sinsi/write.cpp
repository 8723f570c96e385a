// Tag stream: writing tags by id, verbatim text, and flushing.
#include "sinsi/sinsi.h"

namespace {

bool has_output(const SinsiStream* s) {
  return s != nullptr && (s->output != nullptr || s->write != nullptr);
}

// One byte through the write callback, else through the output stream.
bool put_byte(SinsiStream* s, unsigned char c) {
  if (s->write != nullptr) return s->write(s->output, c) >= 0;
  return vqio_putc(c, static_cast<VqStream*>(s->output)) >= 0;
}

bool put_bytes(SinsiStream* s, const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!put_byte(s, static_cast<unsigned char>(text[i]))) return false;
  return true;
}

}  // namespace

int sinsipt(SinsiStream* s, int32_t id, int end_tag, int open) {
  if (!has_output(s)) return SINSI_NO_IO;
  if (open < 0 || open > 255 || s->set_delimiters[open] == nullptr) return SINSI_BAD;
  const SinsiDelimiters* d = s->set_delimiters[open];
  size_t length = 0;
  const char* name = sinsynm(s->set_names[open], id, &length);
  if (name == nullptr) return SINSI_UNKNOWN_ID;
  bool ok = put_byte(s, d->open);
  if (ok && end_tag && d->end != 0) ok = put_byte(s, d->end);
  ok = ok && put_bytes(s, name, length) && put_byte(s, d->close);
  return ok ? SINSI_OK : SINSI_FAILED;
}

int sinsipx(SinsiStream* s, const char* text, size_t n) {
  if (!has_output(s)) return SINSI_NO_IO;
  return put_bytes(s, text, n) ? SINSI_OK : SINSI_FAILED;
}

int sinsifs(SinsiStream* s) {
  if (s == nullptr || s->write != nullptr || s->output == nullptr) return SINSI_NO_IO;
  return vqio_fflush(static_cast<VqStream*>(s->output)) == 0 ? SINSI_OK : SINSI_FAILED;
}
