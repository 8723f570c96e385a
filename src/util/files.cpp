// The checked string copy, file size and modification time, in-place
// byte-order reversal of 32-bit words, and free_if.
#include <cstdlib>
#include <cstring>

#include "msg/msg.h"
#include "util/util.h"

char* StrDup(const char* s) {
  if (!s) return nullptr;
  const size_t n = strlen(s) + 1;
  char* copy = static_cast<char*>(malloc(n));
  if (!copy) {
    const long bytes = static_cast<long>(n);
    vq_alloc_failed(bytes, bytes, 1, 34, "StrDup.c");
  }
  memcpy(copy, s, n);
  return copy;
}

off_t file_size(const char* path) {
  struct stat st;
  if (vqio_stat(path, &st) != 0) return -1;
  return st.st_size;
}

time_t file_mtime(const char* path) {
  struct stat st;
  if (vqio_stat(path, &st) != 0) return -1;
  return st.st_mtime;
}

void swap_words(void* words, size_t n) {
  unsigned char* p = static_cast<unsigned char*>(words);
  for (size_t i = 0; i < n; ++i, p += 4) {
    unsigned char t = p[0];
    p[0] = p[3];
    p[3] = t;
    t = p[1];
    p[1] = p[2];
    p[2] = t;
  }
}

void free_if(void* p) {
  if (p) free(p);
}
