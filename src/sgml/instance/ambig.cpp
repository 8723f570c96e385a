// The ambiguity check of a compiled content model, by the first-and-follow
// construction: for every token the positions that can begin it (first) and
// end it (last), and for every position the positions that can follow it.
// A model is ambiguous when one of these lists holds the same element twice,
// or #PCDATA twice: a parser reading one token ahead could not tell which
// token an element matches.
//
// Token positions are kept as bytes in ascending lists ended by 0: a model
// has at most GRPGTCNT + 1 tokens (253 + 1 at most), so every position fits.
// The follow table is made at the first check for the GRPGTCNT in effect and
// kept; each check clears and reads only the rows its model uses.
#include <algorithm>
#include <cstring>
#include <vector>

#include "msg/msg.h"
#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

using PosList = AmbigTables::PosList;  // ascending, no repeats

struct TokenSet {
  int count;  // tokens covered
  bool nullable;
  PosList first;
  PosList last;
};

constexpr AmbigTables& tables = sgml_parser.ambig;

// State of one check.
struct AmbigRun {
  const ModelToken* model;
  bool ambiguous;
};

void list_union(PosList* into, const PosList& add) {
  if (add.empty()) return;
  PosList& out = tables.work;
  out.clear();
  std::set_union(into->begin(), into->end(), add.begin(), add.end(), std::back_inserter(out));
  into->swap(out);
}

// Whether list names one element definition twice or holds two positions
// that are not element tokens. Every element found twice is reported once.
bool list_ambiguous(const AmbigRun& run, const PosList& list) {
  bool ambiguous = false;
  int others = 0;
  for (uint8_t p : list) {
    const ModelToken* t = &run.model[p];
    if (model_type(t) == MODEL_ELEMENT) {
      ElementTypeDef* e = t->etd;
      if (e->mark == 1) {
        vq_report(2, GetMsgNumText(220006), reinterpret_cast<const char*>(e->name) + 1);
        e->mark = 2;
        ambiguous = true;
      } else if (e->mark == 0) {
        e->mark = 1;
      }
    } else if (model_type(t) == MODEL_PCDATA) {
      if (++others > 1) ambiguous = true;
    } else {
      vq_assert_failed("ambig", __LINE__);
    }
  }
  for (uint8_t p : list) {
    const ModelToken* t = &run.model[p];
    if (model_type(t) == MODEL_ELEMENT) t->etd->mark = 0;
  }
  return ambiguous;
}

// The rows from..to, checked in order; the first ambiguous one ends it.
bool rows_ambiguous(const AmbigRun& run, int from, int to) {
  for (int row = from; row <= to; ++row)
    if (list_ambiguous(run, tables.follow[static_cast<size_t>(row)])) return true;
  return false;
}

void follow_add(const PosList& last, const PosList& first) {
  for (uint8_t p : last) list_union(&tables.follow[p], first);
}

TokenSet token_set(AmbigRun* run, int pos, bool top_level) {
  const ModelToken* t = &run->model[pos];
  TokenSet set{1, false, {}, {}};
  const int type = model_type(t);
  if (type == MODEL_ELEMENT || type == MODEL_PCDATA) {
    set.first.push_back(static_cast<uint8_t>(pos));
    set.last.push_back(static_cast<uint8_t>(pos));
  } else if (type == MODEL_OR || type == MODEL_SEQ || type == MODEL_AND) {
    std::vector<TokenSet> members;
    int p = pos + 1;
    for (uint32_t m = 0; m < t->count; ++m) {
      members.push_back(token_set(run, p, false));
      p += members.back().count;
      set.count += members.back().count;
    }
    if (type == MODEL_OR) {
      for (const TokenSet& s : members) {
        list_union(&set.first, s.first);
        list_union(&set.last, s.last);
        set.nullable = set.nullable || s.nullable;
      }
    } else if (type == MODEL_SEQ) {
      bool all_nullable = true;
      for (const TokenSet& s : members) {
        if (all_nullable) list_union(&set.first, s.first);
        follow_add(set.last, s.first);
        if (s.nullable) {
          list_union(&set.last, s.last);
        } else {
          set.last = s.last;
        }
        all_nullable = all_nullable && s.nullable;
      }
      set.nullable = all_nullable;
    } else {
      bool all_nullable = true;
      for (size_t i = 0; i < members.size(); ++i) {
        for (size_t j = 0; j < members.size(); ++j)
          if (j != i) follow_add(members[i].last, members[j].first);
        list_union(&set.first, members[i].first);
        list_union(&set.last, members[i].last);
        all_nullable = all_nullable && members[i].nullable;
      }
      set.nullable = all_nullable;
      if (top_level) {
        // Checked now and cleared: only a repetition of the whole group
        // adds to these rows below.
        if (!run->ambiguous && rows_ambiguous(*run, pos, pos + set.count - 1))
          run->ambiguous = true;
        for (int row = pos; row < pos + set.count; ++row) tables.follow[row].clear();
      }
    }
  } else {
    vq_assert_failed("ambig", __LINE__);
  }
  if (t->flags & MODEL_REPEAT) follow_add(set.last, set.first);
  if (t->flags & MODEL_OPTIONAL) set.nullable = true;
  return set;
}

}  // namespace

int ambig_check(const ModelToken* model) {
  const int tokens = static_cast<int>(model[0].count);
  if (tokens == 0) return 0;
  const size_t rows = static_cast<size_t>(std::max(quantity(kGRPGTCNT) + 1, tokens)) + 1;
  VQ_ASSERT(tokens <= 255);
  if (!tables.made || tables.follow.size() < rows) {
    tables.follow.resize(rows);
    tables.made = true;
  }
  for (int row = 1; row <= tokens; ++row) tables.follow[static_cast<size_t>(row)].clear();

  AmbigRun run{model, false};
  const TokenSet whole = token_set(&run, 1, true);
  if (!run.ambiguous) run.ambiguous = list_ambiguous(run, whole.first);
  if (!run.ambiguous) run.ambiguous = rows_ambiguous(run, 1, tokens);
  if (run.ambiguous) md_error(P137_CONTENT_MODEL_IS_AMBIGUOUS, nullptr, nullptr);
  return run.ambiguous ? 1 : 0;
}

void ambig_free() {
  tables.follow.clear();
  tables.follow.shrink_to_fit();
  tables.work.clear();
  tables.work.shrink_to_fit();
  tables.made = false;
}
