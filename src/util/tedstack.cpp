// The integer stack of the tagged-text reader: a count and 4096 items.
// Overflow and underflow are internal errors (severity 15).
#include <cstdlib>

#include "msg/msg.h"
#include "util/util.h"

TedStack* tedstcr() {
  TedStack* stack = static_cast<TedStack*>(malloc(sizeof(TedStack)));
  if (!stack) {
    const long bytes = static_cast<long>(sizeof(TedStack));
    vq_alloc_failed(bytes, 1, bytes, 39, "Init.c");
  }
  stack->count = 0;
  return stack;
}

void tedstfr(TedStack* stack) { free(stack); }

void tedstps(TedStack* stack, int32_t value) {
  if (stack->count >= TEDSTACK_MAX) {
    vq_report(15, "tedstps: Stacksize exceeded");
    return;
  }
  stack->items[stack->count++] = value;
}

int32_t tedstpo(TedStack* stack) {
  if (stack->count <= 0) {
    vq_report(15, "tedstpo:  Someone's trying to pop an empty stack");
    return -1;
  }
  return stack->items[--stack->count];
}

int32_t tedsttp(const TedStack* stack) {
  if (stack->count <= 0) return -1;
  return stack->items[stack->count - 1];
}
