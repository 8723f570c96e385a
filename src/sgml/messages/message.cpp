// Parser messages: laying out a message record on a stream, the reports
// that print and count, and the process-wide message state.
//
// Layout of one message (the indent is the program name's length + 2 when
// that is at most 10, else 4):
//   [program: ][entity chain:\n<indent>]<kind word>[ at FILE, line N
//   [ at entity E, line M]...]<where>:\n
//   [<indent><system error text>:\n]
//   <indent><message text>\n
//   [<indent>Element structure: A B ...\n]
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "msg/msg.h"
#include "sgml/messages/message_tables.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"

namespace {

// Room of a printable parameter, in characters.
constexpr size_t kParameterRoom = 46;
// Longest program name that sets the indent by its own length.
constexpr size_t kIndentNameMax = 8;
constexpr size_t kIndentDefault = 4;

struct MessageState {
  std::string program;  // empty: none
  bool entity_chain = false;
  bool open_elements = false;
  unsigned char drop1 = 29, drop2 = 30, escape = 31, offset = 64;
  int32_t count = 0;
  DeclarationContext declaration;
  const MessageSources* sources = nullptr;
};
MessageState& state() {
  static MessageState* s = new MessageState;
  return *s;
}

// A parameter made printable, cut with "..." when it does not fit.
std::string printable(const char* text) {
  const MessageState& st = state();
  std::string out;
  if (text == nullptr) return out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != '\0'; ++p) {
    unsigned c = *p;
    if (c == st.escape) {
      if (p[1] == '\0') break;
      ++p;
      c = static_cast<unsigned char>(*p - st.offset);
    } else if (c == st.drop1 || c == st.drop2) {
      continue;
    }
    char piece[8];
    if (c == '\\') {
      std::strcpy(piece, "\\\\");
    } else if (c >= 32 && c <= 126) {
      piece[0] = static_cast<char>(c);
      piece[1] = '\0';
    } else {
      vqio_sprintf(piece, "\\%03o", c);
    }
    if (out.size() + std::strlen(piece) > kParameterRoom) {
      out += "...";
      break;
    }
    out += piece;
  }
  return out;
}

void indent(VqStream* s, size_t width) {
  for (size_t i = 0; i < width; ++i) vqio_putc(' ', s);
}

}  // namespace

bool message_counts(const char* cls) { return cls[0] != 'I'; }

void message_internal_error(int line) {
  error_printf("%s(%d): ", "sgmlmsg", line);
  vq_report(15, "assert");
  vqio_exit(1);  // the hook ends the program for severity 15; never go on
}

DeclarationContext& md_context() { return state().declaration; }
void message_sources_set(const MessageSources* sources) { state().sources = sources; }
int32_t error_count() { return state().count; }
void error_count_reset() { state().count = 0; }
void error_count_add() { ++state().count; }

void message_setup(const SwitchRecord& switches) {
  MessageState& st = state();
  st.program = switches.program_name != nullptr ? switches.program_name : "";
  st.entity_chain = switches.entity_chain != 0;
  st.open_elements = switches.open_elements != 0;
  st.drop1 = switches.param_drop1;
  st.drop2 = switches.param_drop2;
  st.escape = switches.escape;
  st.offset = switches.escape_offset;
  message_catalogue_set(switches.catalogue);
}

void message_format(const MessageRecord& record, VqStream* s) {
  const MessageState& st = state();
  const char* cls = message_class(record.number);
  if (record.state < 0 || record.state >= kStateNameCount) message_internal_error(__LINE__);

  // 1. Program name and indent.
  size_t width = kIndentDefault;
  if (!st.program.empty()) {
    vqio_fprintf(s, "%s: ", st.program.c_str());
    if (st.program.size() <= kIndentNameMax) width = st.program.size() + 2;
  }

  // 2. The open entities; a system error leaves out the one being opened.
  std::vector<MessageEntityLevel> levels;
  if (st.sources != nullptr && st.sources->entities != nullptr) st.sources->entities(&levels);
  int counted = static_cast<int>(levels.size());
  if (record.kind == kMsgSystem && counted > 0) --counted;
  int f = -1;  // innermost external entity among the counted ones
  for (int i = counted - 1; i >= 0; --i) {
    if (levels[i].external) {
      f = i;
      break;
    }
  }

  // 3. The chain of entities that include F.
  if (st.entity_chain && f > 0) {
    bool printed = false, seen_external = false;
    for (int i = 0; i < f; ++i) {
      const MessageEntityLevel& l = levels[i];
      if (l.external) {
        if (printed) {
          vqio_fputs(":\n", s);
          indent(s, width);
        }
        vqio_fputs(part_text(kPartIncluded), s);
        vqio_fprintf(s, part_text(kPartFileLine), l.file_name.c_str(), l.name.c_str(),
                     static_cast<unsigned long>(l.line));
        printed = seen_external = true;
      } else if (seen_external) {
        vqio_fprintf(s, part_text(kPartEntityLine), l.name.c_str(),
                     static_cast<unsigned long>(l.line + 1));
        printed = true;
      }
    }
    if (printed) {
      vqio_fputs(":\n", s);
      indent(s, width);
    }
  }

  // 4. The kind word.
  int kind_part = kPartSgmlError;
  if (cls[0] == 'I') {
    kind_part = kPartWarning;
  } else if (cls[0] != '\0' && cls[1] == 'R') {
    kind_part = kPartError;
  } else if (cls[0] != '\0' && cls[1] == 'U') {
    kind_part = kPartUnsupported;
  }
  vqio_fprintf(s, part_text(kind_part), cls[0] != '\0' ? cls[1] : 0, cls[0], record.number);

  // 5. Where: F, then with -e the deeper levels.
  int last_shown = counted - 1;
  if (f >= 0) {
    const MessageEntityLevel& l = levels[f];
    vqio_fprintf(s, part_text(kPartFileLine), l.file_name.c_str(), l.name.c_str(),
                 static_cast<unsigned long>(l.line));
    if (st.entity_chain) {
      for (int i = f + 1; i < counted; ++i) {
        vqio_fprintf(s, part_text(kPartEntityLine), levels[i].name.c_str(),
                     static_cast<unsigned long>(levels[i].line + 1));
      }
    } else {
      last_shown = f;
    }
  }

  // 6. By kind.
  const char* name = state_name(record.state);
  switch (record.kind) {
    case kMsgSystem:
      if (static_cast<int>(levels.size()) > counted) {
        vqio_fprintf(s, part_text(kPartAccessing), levels[counted].file_name.c_str());
      }
      break;
    case kMsgError:
    case kMsgFatal:
      if (counted > 0) {
        vqio_fprintf(s, part_text(kPartState), name);
        int c = levels[last_shown].character;
        if (c == 26) {
          vqio_fputs(part_text(kPartEndOfFile), s);
        } else if (c == 10) {
          vqio_fputs(part_text(kPartRecordStart), s);
        } else if (c == 13) {
          vqio_fputs(part_text(kPartRecordEnd), s);
        } else if (c == 0 || c == 28 || c == 1) {
          // nothing to show
        } else if (c >= 32 && c <= 126) {
          vqio_fprintf(s, part_text(kPartChar), c);
        } else {
          vqio_fprintf(s, part_text(kPartCharCode), c & 0xff);
        }
      }
      break;
    case kMsgMdSubject:
      vqio_fprintf(s, part_text(kPartMdSubject), name, record.subject.c_str(), record.parameter);
      break;
    case kMsgMd:
      vqio_fprintf(s, part_text(kPartMd), name, record.parameter);
      break;
    default:
      message_internal_error(__LINE__);
  }
  vqio_fputs(":\n", s);

  // 8. The system's error text.
  if (record.kind == kMsgSystem && record.system_error != 0) {
    indent(s, width);
    vqio_fprintf(s, "%s:\n", std::strerror(record.system_error));
  }

  // 9. The message text.
  indent(s, width);
  std::string a = printable(record.p1), b = printable(record.p2);
  vqio_fprintf(s, p_text(record.number), a.c_str(), b.c_str());
  vqio_putc('\n', s);

  // 10. The open elements.
  if (st.open_elements && st.sources != nullptr && st.sources->elements != nullptr) {
    std::vector<std::string> elements;
    st.sources->elements(&elements);
    if (!elements.empty()) {
      indent(s, width);
      vqio_fputs(part_text(kPartElements), s);
      for (const std::string& e : elements) vqio_fprintf(s, " %s", e.c_str());
      vqio_putc('\n', s);
    }
  }
}

void message_print(const MessageRecord& record) {
  MessageState& st = state();
  if (st.sources != nullptr && st.sources->record_position != nullptr) {
    st.sources->record_position();
  }
  message_format(record, vqio_stderr);
  if (message_counts(message_class(record.number))) ++st.count;
  vqio_fflush(vqio_stderr);
  if (record.kind == kMsgFatal) vqio_exit(1);
}

namespace {

MessageRecord error_record(int n, int s, const char* p1, const char* p2) {
  MessageRecord r;
  r.kind = kMsgError;
  r.number = n;
  r.state = s == kStateCurrent ? message_current_state : s;
  r.p1 = p1;
  r.p2 = p2;
  return r;
}

}  // namespace

void sgml_error(int n, int s, const char* p1, const char* p2) {
  message_print(error_record(n, s, p1, p2));
}

void syntax_error(int n, int s) { message_print(error_record(n, s, nullptr, nullptr)); }

void sgml_fatal(int n, int s) {
  MessageRecord r = error_record(n, s, nullptr, nullptr);
  r.kind = kMsgFatal;
  message_print(r);
  vqio_exit(1);
}

void md_error(int n, const char* p1, const char* p2) {
  const DeclarationContext& d = state().declaration;
  MessageRecord r;
  r.kind = d.has_subject ? kMsgMdSubject : kMsgMd;
  r.number = n;
  r.state = kParseStateCount + d.keyword;
  r.parameter = d.parameters;
  if (d.has_subject) r.subject = d.subject;
  r.p1 = p1;
  r.p2 = p2;
  message_print(r);
}

void system_error(int n, const char* p1) {
  MessageRecord r;
  r.system_error = errno;
  r.kind = kMsgSystem;
  r.number = n;
  r.state = message_current_state;
  r.p1 = p1;
  message_print(r);
}
