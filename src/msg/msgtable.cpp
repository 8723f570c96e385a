// The compiled-in message table, generated from messages.txt at build time
// (sorted by number, each number once).
#include "msg/msg.h"

const MsgEntry MsgTable[] = {
#include "msgtab.inc"
};

const size_t MsgTableCount = sizeof(MsgTable) / sizeof(MsgTable[0]);
