// Scratch arrays kept for the whole run. The steps that run once per pass,
// or once per part of a pass on the threads, take their large arrays from
// here and give them back, so that the pages of an array are not handed
// back to the system and faulted in again each time: with many passes the
// page faults of fresh scratch cost much of the build.
#include <mutex>

#include "builder/phases_internal.h"

namespace phases {

namespace {

constexpr size_t kKept = 128;  // arrays of one kind kept at most

template <class T>
struct Pool {
  std::mutex guard;
  std::vector<std::vector<T>> free;

  std::vector<T> take(size_t n) {
    {
      const std::lock_guard<std::mutex> hold(guard);
      for (size_t i = free.size(); i-- > 0;) {
        if (free[i].size() != n) continue;
        std::vector<T> v = std::move(free[i]);
        free.erase(free.begin() + static_cast<std::ptrdiff_t>(i));
        return v;
      }
    }
    return std::vector<T>(n);
  }

  void give(std::vector<T>&& v) {
    if (v.empty()) return;
    const std::lock_guard<std::mutex> hold(guard);
    if (free.size() < kKept) free.push_back(std::move(v));
  }
};

Pool<unsigned char>& bytes() {
  static Pool<unsigned char> pool;
  return pool;
}

Pool<uint64_t>& words() {
  static Pool<uint64_t> pool;
  return pool;
}

}  // namespace

std::vector<unsigned char> take_bytes(size_t n) { return bytes().take(n); }
void give_bytes(std::vector<unsigned char>&& v) { bytes().give(std::move(v)); }
std::vector<uint64_t> take_words(size_t n) { return words().take(n); }
void give_words(std::vector<uint64_t>&& v) { words().give(std::move(v)); }

}  // namespace phases
