// Checked allocation: every allocation site names its own source file and
// line; a failure or a request of zero bytes or less is a severity-14 report
// through the error-handler hook, which never returns.
//
// Sizes are reported as they were requested, in long (64-bit), so the texts
// use %ld for them.
#include <climits>
#include <cstdlib>

#include "msg/msg.h"

namespace {

enum { kAllocSeverity = 14 };

const char* const kAllocFailed =
    "Memory allocation failed attempting to allocate %ld bytes (%ld chunks of size %ld) at "
    "line %d of file %s.\n";
const char* const kAllocNotPositive =
    "An attempt to allocate %ld bytes (%ld chunks of size %ld) (which is <= 0) was made at "
    "line %d of file %s.\n";
const char* const kReallocFailed =
    "Memory reallocation failed trying to reallocate %ld bytes (%ld chunks of size %ld) at "
    "line %d of file %s.\n";
const char* const kReallocNotPositive =
    "An attempt to reallocate %ld bytes (%ld chunks of size %ld) (which is <= 0 bytes) was "
    "made at line %d of file %s.\n";

[[noreturn]] void report_allocation(const char* text, long bytes, long chunks, long chunk_size,
                                    int line, const char* file) {
  vq_report(kAllocSeverity, text, bytes, chunks, chunk_size, line, file);
  // A fatal severity never returns; end here should an installed handler return.
  vqio_exit(kAllocSeverity);
}

// The requested size chunks * chunk_size; a product that does not fit in a
// long counts as LONG_MAX (a request no system grants).
long request_size(long chunks, long chunk_size) {
  long bytes;
  if (__builtin_mul_overflow(chunks, chunk_size, &bytes)) return LONG_MAX;
  return bytes;
}

// Zero or negative requests; a negative factor counts even when the product
// of two negative factors would be positive.
bool not_positive(long bytes, long chunks, long chunk_size) {
  return bytes <= 0 || chunks <= 0 || chunk_size <= 0;
}

}  // namespace

void vq_alloc_failed(long bytes, long chunks, long chunk_size, int line, const char* file) {
  report_allocation(kAllocFailed, bytes, chunks, chunk_size, line, file);
}

void vq_realloc_failed(long bytes, long chunks, long chunk_size, int line, const char* file) {
  report_allocation(kReallocFailed, bytes, chunks, chunk_size, line, file);
}

void* vq_malloc(long chunks, long chunk_size, int line, const char* file) {
  const long bytes = request_size(chunks, chunk_size);
  if (not_positive(bytes, chunks, chunk_size))
    report_allocation(kAllocNotPositive, bytes, chunks, chunk_size, line, file);
  void* p = bytes == LONG_MAX ? nullptr : malloc(static_cast<size_t>(bytes));
  if (!p) vq_alloc_failed(bytes, chunks, chunk_size, line, file);
  return p;
}

void* vq_calloc(long chunks, long chunk_size, int line, const char* file) {
  const long bytes = request_size(chunks, chunk_size);
  if (not_positive(bytes, chunks, chunk_size))
    report_allocation(kAllocNotPositive, bytes, chunks, chunk_size, line, file);
  void* p = bytes == LONG_MAX
                ? nullptr
                : calloc(static_cast<size_t>(chunks), static_cast<size_t>(chunk_size));
  if (!p) vq_alloc_failed(bytes, chunks, chunk_size, line, file);
  return p;
}

void* vq_realloc(void* p, long chunks, long chunk_size, int line, const char* file) {
  const long bytes = request_size(chunks, chunk_size);
  if (not_positive(bytes, chunks, chunk_size))
    report_allocation(kReallocNotPositive, bytes, chunks, chunk_size, line, file);
  void* q = bytes == LONG_MAX ? nullptr : realloc(p, static_cast<size_t>(bytes));
  if (!q) vq_realloc_failed(bytes, chunks, chunk_size, line, file);
  return q;
}
