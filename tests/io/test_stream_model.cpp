// Model-based test: random legal sequences of stream operations run on a
// layer stream and on a C library stream over twin files; every result, every
// byte read and the final file contents must agree.
//
// "Legal" is what C allows: on an update stream a flush or a seek separates
// writing from reading, a seek separates reading from writing, and ungetc
// follows a read. Within those rules the two libraries must be
// indistinguishable. Each sequence is reproducible from its seed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io_support.h"

namespace {

using iotest::TempDir;

enum Dir { kNone, kReading, kWriting };

enum Op { kGetc, kPutc, kRead, kWrite, kSeek, kTell, kFlush, kUngetc, kGetw, kPutw, kFlags, kOps };

struct Twin {
  VqStream* v;
  FILE* c;
};

class Sequence {
 public:
  Sequence(uint32_t seed, const char* mode) : rng_(seed), mode_(mode) {
    update_ = std::strchr(mode, '+') != nullptr;
    append_ = mode[0] == 'a';
    can_read_ = mode[0] == 'r' || update_;
    can_write_ = mode[0] != 'r' || update_;
  }

  void Run() {
    std::string initial = RandomBytes(Pick(0, 4) == 0 ? 0 : Pick(1, 5000));
    iotest::WriteFile(dir_.file("v"), initial);
    iotest::WriteFile(dir_.file("c"), initial);
    size_lb_ = mode_[0] == 'w' ? 0 : static_cast<long>(initial.size());

    t_.v = vqio_fopen(dir_.file("v").c_str(), mode_);
    t_.c = std::fopen(dir_.file("c").c_str(), mode_);
    ASSERT_NE(t_.v, nullptr);
    ASSERT_NE(t_.c, nullptr);
    SetBuffering();
    Note(buffering_ + " size " + std::to_string(initial.size()));

    for (int step = 0; step < 160 && !::testing::Test::HasFailure(); ++step) {
      step_ = step;
      Step(static_cast<Op>(Pick(0, kOps - 1)));
    }
    EXPECT_EQ(vqio_fclose(t_.v), std::fclose(t_.c)) << Where("fclose");
    EXPECT_EQ(iotest::ReadFile(dir_.file("v")), iotest::ReadFile(dir_.file("c")))
        << Where("final file bytes");
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  std::string RandomBytes(size_t n) {
    std::string s(n, '\0');
    for (char& ch : s) ch = static_cast<char>(Pick(0, 9) == 0 ? '\n' : Pick(0, 255));
    return s;
  }

  std::string Where(const char* what) const {
    std::string w = std::string(what) + " at step " + std::to_string(step_) + " (mode " + mode_ +
                    "); operations:";
    for (const std::string& t : trace_) w += " " + t;
    return w;
  }
  void Note(const std::string& what) { trace_.push_back(what); }

  // Full (default), unbuffered or line buffered, the same on both sides.
  void SetBuffering() {
    buffering_ = "full";
    switch (Pick(0, 3)) {
      case 1:
        buffering_ = "unbuffered";
        ASSERT_EQ(vqio_setvbuf(t_.v, nullptr, VQ_IONBF, 0), 0);
        ASSERT_EQ(std::setvbuf(t_.c, nullptr, _IONBF, 0), 0);
        break;
      case 2:
        buffering_ = "line";
        ASSERT_EQ(vqio_setvbuf(t_.v, nullptr, VQ_IOLBF, 0), 0);
        ASSERT_EQ(std::setvbuf(t_.c, nullptr, _IOLBF, 1024), 0);
        break;
      default:
        break;
    }
  }

  // The separator C requires before a transfer in direction d.
  void Turn(Dir d) {
    if (!update_ || dir_state_ == kNone || dir_state_ == d) {
      dir_state_ = d;
      return;
    }
    if (dir_state_ == kWriting && Pick(0, 1) == 0) {
      Note("flush");
      EXPECT_EQ(vqio_fflush(t_.v), std::fflush(t_.c)) << Where("fflush (turn)");
    } else {
      Note("seek(0,1)");
      EXPECT_EQ(vqio_fseek(t_.v, 0, SEEK_CUR), std::fseek(t_.c, 0, SEEK_CUR))
          << Where("fseek (turn)");
    }
    dir_state_ = d;
  }

  void AfterWrite() {
    if (!append_) size_lb_ = std::max(size_lb_, std::ftell(t_.c));
  }

  void Step(Op op) {
    bool was_getc = last_getc_ok_;
    last_getc_ok_ = false;
    switch (op) {
      case kGetc: {
        if (!can_read_) return;
        Turn(kReading);
        Note("getc");
        int a = vqio_fgetc(t_.v), b = std::fgetc(t_.c);
        EXPECT_EQ(a, b) << Where("fgetc");
        last_getc_ok_ = b != EOF;
        last_byte_ = b;
        break;
      }
      case kGetw: {
        if (!can_read_) return;
        Turn(kReading);
        Note("getw");
        EXPECT_EQ(vqio_getw(t_.v), getw(t_.c)) << Where("getw");
        break;
      }
      case kRead: {
        if (!can_read_) return;
        Turn(kReading);
        size_t size = static_cast<size_t>(Pick(0, 2) == 0 ? 4 : 1);
        size_t n = static_cast<size_t>(Pick(0, 3) == 0 ? Pick(1000, 3000) : Pick(0, 300)) / size;
        Note("read(" + std::to_string(size) + "x" + std::to_string(n) + ")");
        std::string a(size * n, '\0'), b(size * n, '\0');
        size_t ra = vqio_fread(a.data(), size, n, t_.v);
        size_t rb = std::fread(b.data(), size, n, t_.c);
        EXPECT_EQ(ra, rb) << Where("fread");
        EXPECT_EQ(a.substr(0, ra * size), b.substr(0, rb * size)) << Where("fread bytes");
        break;
      }
      case kPutc: {
        if (!can_write_) return;
        Turn(kWriting);
        int ch = Pick(0, 4) == 0 ? '\n' : Pick(0, 255);
        Note("putc");
        EXPECT_EQ(vqio_fputc(ch, t_.v), std::fputc(ch, t_.c)) << Where("fputc");
        AfterWrite();
        break;
      }
      case kPutw: {
        if (!can_write_) return;
        Turn(kWriting);
        int w = static_cast<int>(rng_());
        Note("putw");
        EXPECT_EQ(vqio_putw(w, t_.v), putw(w, t_.c)) << Where("putw");
        AfterWrite();
        break;
      }
      case kWrite: {
        if (!can_write_) return;
        Turn(kWriting);
        std::string data = RandomBytes(static_cast<size_t>(Pick(0, 3) == 0 ? Pick(1000, 3000) : Pick(0, 300)));
        size_t size = data.size() % 2 == 0 && Pick(0, 1) ? 2 : 1;
        size_t n = data.size() / size;
        Note("write(" + std::to_string(size) + "x" + std::to_string(n) + ")");
        EXPECT_EQ(vqio_fwrite(data.data(), size, n, t_.v), std::fwrite(data.data(), size, n, t_.c))
            << Where("fwrite");
        AfterWrite();
        break;
      }
      case kSeek: {
        int whence = Pick(0, 2);
        long offset = 0;
        if (whence == SEEK_SET) {
          offset = Pick(0, static_cast<int>(size_lb_) + 50);
        } else if (whence == SEEK_CUR) {
          long pos = append_ ? 0 : std::ftell(t_.c);
          offset = Pick(-static_cast<int>(pos), 50);
        } else {
          offset = Pick(-static_cast<int>(size_lb_), 20);
        }
        Note("seek(" + std::to_string(offset) + "," + std::to_string(whence) + ")");
        EXPECT_EQ(vqio_fseek(t_.v, offset, whence), std::fseek(t_.c, offset, whence))
            << Where("fseek");
        if (update_) dir_state_ = kNone;
        break;
      }
      case kTell:
        if (append_) return;  // the C library's ftell on append streams is its own
        Note("tell");
        EXPECT_EQ(vqio_ftell(t_.v), std::ftell(t_.c)) << Where("ftell");
        break;
      case kFlush:
        // C leaves a flush of a stream whose last transfer was a read undefined
        // (the C library drops a pushed-back byte's position): not compared.
        if (!can_write_ || dir_state_ == kReading) return;
        Note("flush");
        EXPECT_EQ(vqio_fflush(t_.v), std::fflush(t_.c)) << Where("fflush");
        if (update_) dir_state_ = kNone;
        break;
      case kUngetc: {
        if (!was_getc) return;
        // The byte just read goes back: with another byte, the C library
        // misplaces a following relative seek (checked by hand: it seeks from
        // a stale buffer end), so that case is a unit test of its own.
        int ch = last_byte_;
        Note("ungetc");
        EXPECT_EQ(vqio_ungetc(ch, t_.v), std::ungetc(ch, t_.c)) << Where("ungetc");
        break;
      }
      case kFlags:
        EXPECT_EQ(vqio_feof(t_.v) != 0, std::feof(t_.c) != 0) << Where("feof");
        EXPECT_EQ(vqio_ferror(t_.v) != 0, std::ferror(t_.c) != 0) << Where("ferror");
        break;
      case kOps:
        break;
    }
  }

  std::vector<std::string> trace_;  // the operations so far, for failure messages
  std::mt19937 rng_;
  const char* mode_;
  bool update_, append_, can_read_, can_write_;
  TempDir dir_;
  Twin t_{nullptr, nullptr};
  Dir dir_state_ = kNone;
  long size_lb_ = 0;  // the file is at least this long
  bool last_getc_ok_ = false;
  int last_byte_ = 0;
  int step_ = 0;
  std::string buffering_;
};

TEST(StreamModel, RandomSequencesAgreeWithStdio) {
  iotest::EnsureStarted();
  const char* modes[] = {"r", "w", "a", "r+", "w+", "a+"};
  // VQIO_MODEL_SEEDS=first:last runs another range (to replay or to soak).
  uint32_t first = 1, last = 2000;
  if (const char* range = std::getenv("VQIO_MODEL_SEEDS"))
    std::sscanf(range, "%u:%u", &first, &last);
  for (uint32_t seed = first; seed <= last; ++seed) {
    const char* mode = modes[seed % 6];
    SCOPED_TRACE("seed " + std::to_string(seed) + " mode " + mode);
    Sequence(seed, mode).Run();
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
