// Small utilities shared by every subsystem: the checked string copy, file
// size and time, byte-order reversal, the integer stack of the tagged-text
// reader, field splitting, character-set tests, wildcard matching, number
// formatting, a small string hash table, three quicksorts and a seeded
// random-number generator.
//
// Allocation: StrDup and tedstcr report a failure through the error-handler
// hook (severity 14, does not return). Everything else that returns an
// allocated pointer uses the C library's allocator and gives null on failure
// (xmalloc/xcalloc abort()); release such results with free() / free_if().
//
// Text outputs are std::string and field lists std::vector<char*>, so no
// output can overflow; the splitting and matching rules are the documented
// ones. Nothing here keeps state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <string>
#include <sys/types.h>
#include <vector>

// ---------------------------------------------------------------------------
// Checked copy, file facts, byte order

// Allocated copy of s (free with free()); null gives null. An allocation
// failure is a severity-14 report that does not return.
char* StrDup(const char* s);
// Size / modification time of path through vqio_stat; -1 when the stat fails.
off_t file_size(const char* path);
time_t file_mtime(const char* path);
// Reverses the byte order of each of n 32-bit words in place (any alignment).
void swap_words(void* words, size_t n);
// free(p) unless p is null.
void free_if(void* p);

// ---------------------------------------------------------------------------
// Integer stack of the tagged-text reader: at most 4096 items.

enum { TEDSTACK_MAX = 4096 };
struct TedStack {
  int32_t count;
  int32_t items[TEDSTACK_MAX];
};

// A new empty stack (severity-14 report on allocation failure); release
// with tedstfr.
TedStack* tedstcr();
void tedstfr(TedStack* stack);
// Pushes value; a full stack is a severity-15 report and nothing is stored.
void tedstps(TedStack* stack, int32_t value);
// Pops the top item; an empty stack is a severity-15 report (-1 should the
// installed handler return).
int32_t tedstpo(TedStack* stack);
// The top item without popping; -1 when the stack is empty.
int32_t tedsttp(const TedStack* stack);

// ---------------------------------------------------------------------------
// Field splitting

// Splits line in place into fields and appends a pointer to each field to
// fields (clear the vector first to start a new list; a non-empty vector is
// appended to). separators, quotes and terminators are character sets, any
// of which may be empty ("" or null).
// - Leading separators are skipped; a field starts at a non-separator and
//   runs to the next separator, terminator or the end of the line.
// - A quote character opens a quoted stretch anywhere in a field; the stretch
//   may hold separators and is closed by the same quote character. Its text
//   is shifted left by one over the opening quote; the closing quote ends the
//   field (the field's text ends with the quoted text) and is replaced by a
//   blank. The characters between it and the next separator belong to no
//   field; when the blank is itself a separator they start the next field.
// - An unterminated stretch runs to the end of the line; a terminator ends
//   the line even inside a quoted stretch.
// - Separators after a field and the terminator (or end) become NULs.
// Returns fields.size().
int split_fields(char* line, const char* separators, const char* quotes,
                 const char* terminators, std::vector<char*>& fields);
// As split_fields, but a quoted stretch is passed over whole: its quote
// characters stay in the field, nothing is shifted, and the field goes on
// after the closing quote up to the next separator or terminator.
int split_fields_q(char* line, const char* separators, const char* quotes,
                   const char* terminators, std::vector<char*>& fields);
// Skips blanks, tabs, newlines and the characters ",", "/" and "=", then
// copies the following characters up to the next of them (or the end) to
// out. Returns the position after the token (where the next call may start);
// out is empty when there is no further token.
const char* next_token(const char* s, std::string& out);
// Skips the characters next_token skips and c, then splits the rest of s in
// place at runs of c (each run becomes NULs); appends the field pointers to
// fields and returns fields.size(). A trailing run makes no empty field.
int split_at_char(char* s, char c, std::vector<char*>& fields);

// ---------------------------------------------------------------------------
// Allocation without reports

// malloc / calloc that call abort() on failure (no message).
void* xmalloc(size_t n);
void* xcalloc(size_t n, size_t size);
// free(p); returns 1.
int xfree(void* p);

// ---------------------------------------------------------------------------
// Strings and character sets (ctype tests take the byte as unsigned char)

// Replaces every from by to in place; 1 (null s: 0).
int str_replace_char(char* s, char from, char to);
// Copies n bytes (the ranges may overlap); 1.
int copy_n(void* dst, const void* src, size_t n);
// 1 when every character is a decimal digit (empty: 1; null: 0).
int str_is_digits(const char* s);
// Maps s in place with toupper / tolower; 1 (null: 0).
int str_upper(char* s);
int str_lower(char* s);
// strcmp of the lower-cased strings (<0, 0, >0).
int str_casecmp(const char* a, const char* b);
// 1 when c occurs in s (null s or c == NUL: 0).
int char_in_str(int c, const char* s);
// 1 when some character of set occurs in s (null or empty s or set: 0).
int str_shares_char(const char* s, const char* set);
// 1 when every character of s is in set (empty s: 1; null s: 0).
int str_all_in_set(const char* s, const char* set);
// out := s without the characters of set; 1 (null s: 0, out empty).
int str_strip_set(const char* s, const char* set, std::string& out);
// out := the first n characters of s, or all of s when it is shorter; 1
// (null s: 0, out empty).
int str_copy_n(const char* s, size_t n, std::string& out);
// out := s without its leading / trailing characters that belong to set;
// 1 (null s: 0, out empty).
int str_ltrim_set(const char* s, const char* set, std::string& out);
int str_rtrim_set(const char* s, const char* set, std::string& out);
// strlen, 0 for null.
size_t str_len0(const char* s);
// Allocated copy (malloc), null for null or on allocation failure.
char* str_dup0(const char* s);
// Allocated concatenation (malloc; null arguments count as empty).
char* str_concat(const char* a, const char* b);
// Allocated concatenation of a null-terminated argument list.
char* str_concat_list(const char* s, ...) __attribute__((sentinel));

// ---------------------------------------------------------------------------
// Wildcard matching

// Whole-string match: "?" any one character, "*" any run (also empty), "["
// ... "]" a set of characters and ranges such as a-z (no negation; inside a
// set "\-" stands for "-"; "-" first or last in a set is itself), "\" takes
// the next pattern character as it is. A "[" without its "]" matches nothing.
// 1 or 0.
int wild_match(const char* pattern, const char* text);
// Matches the upper-cased pattern against each upper-cased string in order:
// 1 and *index = the first match, else 0.
int wild_match_list_ci(const char* pattern, int n, const char* const* strings, int* index);
// As above, all matches in order up to max: *count of them in indexes;
// 1 when any.
int wild_match_list_all_ci(const char* pattern, int n, const char* const* strings, int max,
                           int* count, int* indexes);
// For a pattern with one "*" (such as "*.dd" or "*.rgn"): the text must
// begin with the part before the "*" (else 0). The "*" takes the shortest run
// of one character or more after which the rest of the text is a prefix of
// the rest of the pattern, and that run goes to out, so "name.dd" gives
// "name", "name" gives "name", and "x.d" gives "x" (a text ending inside the
// suffix loses that part). An empty remainder gives an empty out. 1 then.
// A pattern without "*" gives 0. out is empty whenever the result is 0.
int wild_match_prefix(const char* pattern, const char* text, std::string& out);

// ---------------------------------------------------------------------------
// Number formatting

// x printed with "%.<decimals>f" (decimals below 0 count as 0, above 340 as
// 340); when decimals > 0, trailing zeros after the point are removed and a
// text then ending in "." gets one "0": 2.5/2 gives "2.5", 3/3 gives "3.0".
void format_double_trim(double x, int decimals, std::string& out);
// The three numbers trimmed as above, joined by single blanks.
void format_double3(double x, double y, double z, int decimals, std::string& out);

// ---------------------------------------------------------------------------
// String hash table with quadratic probing.
//
// Probing: the base is the key's decimal value when the key is all digits
// (saturating like strtol), else the sum of its bytes as signed chars; probe
// i goes to slot (base + i*i) mod n, non-negative. Insert gives 0 both for a
// key already present and when no free slot is found in n probes, so a
// caller that stores up to N keys must size the table as a prime >= 2N
// (shash_size_for(N); 4099 for 2047 keys): then probing always finds a free
// slot and no key is refused.

struct ShashSlot {
  char* key;  // null for an empty slot
  char* value;
};
struct ShashTable {
  int32_t size;
  int32_t collisions;  // extra probes made by inserts
  ShashSlot* slots;
};

// The smallest prime >= 2 * keys (at least 3).
int32_t shash_size_for(int32_t keys);
// A table of n (>= 1) empty slots; null on allocation failure.
ShashTable* shash_create(int32_t n);
// Stores copies of key and value: 1, or 0 when the key is present, no free
// slot is found in n probes, or a copy cannot be allocated.
int shash_insert(ShashTable* table, const char* key, const char* value);
// As shash_insert, storing the caller's pointers: on 1 the table owns them
// (they must come from malloc; shash_free frees them).
int shash_insert_ref(ShashTable* table, char* key, char* value);
// The value stored for key, or null.
char* shash_lookup(const ShashTable* table, const char* key);
// Frees every key and value and the table (null: nothing).
void shash_free(ShashTable* table);
// The slot of probe i for key in a table of n slots.
int32_t shash_slot(const char* key, int32_t i, int32_t n);

// ---------------------------------------------------------------------------
// Quicksorts over an inclusive index range [lo, hi]. The pivot is the key at
// position lo at each step (not a saved copy), which decides the order of
// equal keys; callers rely on that order.

struct SortStrPair {
  int32_t word;
  char* string;
};
struct SortIntPair {
  int32_t first;
  int32_t key;  // sorted by this one
};
struct SortDoubleRec {
  int32_t id;
  double key;
};

// Ascending by strcmp of the strings.
void qsort_by_string(SortStrPair* pairs, int lo, int hi);
// Ascending by the second integer (signed).
void qsort_by_int(SortIntPair* pairs, int lo, int hi);
// Ascending by the double.
void qsort_by_double(SortDoubleRec* records, int lo, int hi);

// ---------------------------------------------------------------------------
// Seeded random numbers. The caller holds the state (0 to 2^31 - 1); every
// call of rand_uniform advances it once:
//   state := (state * 843314861 + 453816693) mod 2^31 (product mod 2^32),
//   result = state * 4.656612e-10.

double rand_uniform(int32_t* state);
// (sum of 12 uniform deviates - 6) * sd + mean.
double rand_normal(int32_t* state, double mean, double sd);
// -mean * ln(u) for one uniform deviate u; u = 0 counts as the smallest
// non-zero deviate (4.656612e-10), so the result stays finite.
double rand_exponential(int32_t* state, double mean);
// Poisson deviate by multiplying uniform deviates until the product falls
// below exp(-lambda). lambda <= 0 (or NaN) gives 0; lambda above 1e8 is
// taken as 1e8; where exp(-lambda) underflows the product is kept as a sum of
// logarithms, so the loop always ends.
int32_t rand_poisson(int32_t* state, double lambda);

// ---------------------------------------------------------------------------
// Files removed at exit: a program's work and temporary files that must not
// outlive it however it ends. The first exit_files_add registers an atexit
// handler, so every end through exit (vqio_exit included: it closes every
// stream and then calls exit) removes what is still listed; the handlers of
// exit_files_signals remove them before an interrupting signal ends the
// program. Names are removed with the system's unlink, as given.

void exit_files_add(const std::string& path);
// Takes a name off the list (the caller removed or kept the file itself).
void exit_files_drop(const std::string& path);
// Removes every listed file now and empties the list.
void exit_files_remove();
// Handlers of the given signals (one that is ignored stays ignored) that
// remove the listed files, call also (when not null; it may only make
// async-signal-safe calls), restore the default action and raise the
// signal again.
void exit_files_signals(std::initializer_list<int> signals, void (*also)());
// The handler those signals get: unlinks the listed files (nothing else but
// the program's action), restores the signal's default action and raises
// it again.
void exit_files_on_signal(int signal);
