// The message catalogue: the text of a numbered message, from the message
// file when one is found and it holds the number, else from the compiled-in
// table.
//
// The message file is named by $VQ_MESSAGE_FILE, else "./velquin.msg". It is
// indexed once, at the first lookup, and stays open for the lookups; when no
// file opens, that is remembered until GetMsgText(-1).
//
// A message file is data, not code: its texts are used as printf formats by
// the printers, so a file text is taken only when its conversions are those
// of the compiled-in text (same conversion characters, length modifiers and
// "*" arguments, in the same order), and never when it holds "%n". For a
// number without a compiled-in text only a file text without conversions is
// taken. Otherwise the compiled-in text (or the not-found text) is used.
//
// Every text handed out stays valid until GetMsgText(-1): texts are cached
// per number, so two texts can be passed to one format.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "msg/msg.h"

namespace {

constexpr const char* kFileVariable = "VQ_MESSAGE_FILE";
constexpr const char* kDefaultFile = "./velquin.msg";
// A file text is cut after this many bytes.
constexpr size_t kMaxFileText = 4081;
constexpr const char kTextEnd[] = "</VQText>";
constexpr size_t kTextEndLength = sizeof(kTextEnd) - 1;

// Process state of the catalogue; reset by GetMsgText(-1). Allocated once
// and never destroyed, so that nothing runs at exit.
struct Catalogue {
  bool set_up = false;            // the message file was looked for
  VqStream* file = nullptr;       // the open message file, or null
  MsgIndex* file_index = nullptr;
  std::unordered_map<long, std::string> texts;     // GetMsgText results
  std::unordered_map<long, std::string> numbered;  // GetMsgNumText results
};
Catalogue& the_catalogue() {
  static Catalogue* catalogue = new Catalogue;
  return *catalogue;
}

// The table index is built once per process: the table never changes.
MsgIndex* table_index() {
  static MsgIndex* index = nullptr;
  if (index == nullptr) {
    auto* entries = new MsgIndexEntry[MsgTableCount];
    for (size_t i = 0; i < MsgTableCount; ++i) {
      entries[i] = MsgIndexEntry{MsgTable[i].number, 0, MsgTable[i].text};
    }
    index = msgidx_create(static_cast<int32_t>(MsgTableCount), static_cast<int32_t>(MsgTableCount),
                          sizeof(MsgIndexEntry), entries);
    delete[] entries;
    msgidx_sort(index);
  }
  return index;
}

void set_up() {
  Catalogue& catalogue = the_catalogue();
  catalogue.set_up = true;
  const char* path = std::getenv(kFileVariable);
  VqStream* file = path != nullptr ? vqio_fopen(path, "r") : nullptr;
  if (file == nullptr) file = vqio_fopen(kDefaultFile, "r");
  if (file == nullptr) return;
  catalogue.file = file;
  catalogue.file_index = msgidx_create(0, 0, sizeof(MsgIndexEntry), nullptr);
  msgidx_load(file, catalogue.file_index, msgfile_next_entry);
  msgidx_sort(catalogue.file_index);
}

void release() {
  Catalogue& catalogue = the_catalogue();
  if (catalogue.file != nullptr) vqio_fclose(catalogue.file);
  msgidx_free(catalogue.file_index);
  catalogue.file = nullptr;
  catalogue.file_index = nullptr;
  catalogue.texts.clear();
  catalogue.numbered.clear();
  catalogue.set_up = false;
}

// The text stored at offset in the message file: up to the first
// "</VQText>" (which is dropped), the end of the file, or kMaxFileText bytes.
bool read_file_text(long offset, std::string* text) {
  Catalogue& catalogue = the_catalogue();
  text->clear();
  if (vqio_fseek(catalogue.file, offset, SEEK_SET) != 0) return false;
  int c;
  while (text->size() < kMaxFileText && (c = vqio_fgetc(catalogue.file)) != EOF) {
    text->push_back(static_cast<char>(c));
    if (text->size() >= kTextEndLength &&
        text->compare(text->size() - kTextEndLength, kTextEndLength, kTextEnd) == 0) {
      text->resize(text->size() - kTextEndLength);
      break;
    }
  }
  return true;
}

// The conversions of a format as the output engine reads them: per
// conversion, one "*" per width or precision taken from the arguments, the
// "l" and "h" modifiers, and the conversion character ("%%" without "*"
// reads nothing and is left out). A "%" that ends the format gives "\0".
// Sets *has_n when a conversion stores through an argument (%n).
std::string conversions(const char* format, bool* has_n) {
  std::string out;
  *has_n = false;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    std::string conv;
    int longs = 0, shorts = 0;
    for (++p;; ++p) {
      char c = *p;
      if (c == '-' || c == '+' || c == ' ' || c == '0' || c == '#' || c == '.' ||
          (c >= '1' && c <= '9')) {
        continue;
      }
      if (c == '*') {
        conv += '*';
      } else if (c == 'l') {
        ++longs;
      } else if (c == 'h') {
        ++shorts;
      } else {
        break;
      }
    }
    conv.append(longs, 'l').append(shorts, 'h');
    if (*p == '\0') {
      out += conv;
      out += '\0';
      out += '|';
      break;
    }
    if (*p == '%' && conv.empty()) continue;
    if (*p == 'n') *has_n = true;
    out += conv;
    out += *p;
    out += '|';
  }
  return out;
}

// Whether a message-file text may stand in for the compiled-in text (null
// when the number has none).
bool file_text_usable(const std::string& file_text, const char* table_text) {
  bool file_n = false, table_n = false;
  std::string file_conv = conversions(file_text.c_str(), &file_n);
  if (file_n) return false;
  if (table_text == nullptr) return file_conv.empty();
  return file_conv == conversions(table_text, &table_n);
}

const char* lookup(long n) {
  Catalogue& catalogue = the_catalogue();
  if (!catalogue.set_up) set_up();
  auto cached = catalogue.texts.find(n);
  if (cached != catalogue.texts.end()) return cached->second.c_str();

  const MsgIndexEntry* table_entry = msgidx_find(table_index(), n);
  const char* table_text = table_entry != nullptr ? table_entry->text : nullptr;
  std::string text;
  const MsgIndexEntry* file_entry = msgidx_find(catalogue.file_index, n);
  if (file_entry != nullptr && read_file_text(file_entry->offset, &text) &&
      file_text_usable(text, table_text)) {
    // taken from the file
  } else if (table_text != nullptr) {
    text = table_text;
  } else {
    text = "(No message found for message number " + std::to_string(n) + ")";
  }
  return catalogue.texts.emplace(n, std::move(text)).first->second.c_str();
}

}  // namespace

bool msg_text_usable(const char* text, const char* reference) {
  return text != nullptr && file_text_usable(text, reference);
}

const char* GetMsgText(long n) {
  int saved = errno;
  const char* text = nullptr;
  if (n == -1) {
    release();
  } else {
    text = lookup(n);
  }
  errno = saved;
  return text;
}

const char* GetMsgNumText(long n) {
  Catalogue& catalogue = the_catalogue();
  int saved = errno;
  auto cached = catalogue.numbered.find(n);
  const char* text;
  if (cached != catalogue.numbered.end()) {
    text = cached->second.c_str();
  } else {
    std::string numbered = std::to_string(n) + ": " + lookup(n);
    text = catalogue.numbered.emplace(n, std::move(numbered)).first->second.c_str();
  }
  errno = saved;
  return text;
}
