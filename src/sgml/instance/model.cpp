// Extents of model groups, context states and the hit-bit operations that
// the context checks share.
#include "sgml/instance/model.h"

#include "msg/msg.h"

int model_group_size(const ModelToken* group, int members) {
  int size = 0;
  const ModelToken* t = group + 1;
  for (int m = 0; m < members; ++m) {
    const int n = model_token_size(t);
    size += n;
    t += n;
  }
  return size;
}

void context_state_init(ContextState* state, int words) {
  VQ_ASSERT(words >= 1);
  state->words = words;
  context_state_reset(state);
  context_forget_models();
}

void context_state_start(ContextState* state) {
  state->levels.assign(1, ContextLevel{1, 0});
  state->hits.assign(static_cast<size_t>(state->words), 0);
}

void state_copy(ContextState* to, const ContextState* from) {
  if (to == from) return;
  to->words = from->words;
  to->levels = from->levels;  // keeps the save area's storage from check to check
  to->hits = from->hits;
}

static bool bit_set(const uint32_t* hits, int member) {
  return (hits[(member - 1) / 32] >> ((member - 1) % 32)) & 1u;
}

int group_all_hit(const ModelToken* group, const uint32_t* hits, int except, int count_optional) {
  const ModelToken* t = group + 1;
  for (int m = 1; m <= static_cast<int>(group->count); ++m) {
    if (m != except && !bit_set(hits, m) && (count_optional || !(t->flags & MODEL_OPTIONAL)))
      return 0;
    t += model_token_size(t);
  }
  return 1;
}

int any_hit(const uint32_t* hits, int words) {
  for (int w = 0; w < words; ++w)
    if (hits[w] != 0) return 1;
  return 0;
}
