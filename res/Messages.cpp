// The message loaders of res/Messages.h: the shared buffers and the loads into them.
#include "res/Messages.h"

#include "platform/StringTable.h"

char16_t MessageText[256];
char16_t MessageCaption[256];

const char16_t* LoadMessageText(unsigned id) {
  quillon::loadString(id, MessageText, 256);
  return MessageText;
}

const char16_t* LoadToolCaption() {
  quillon::loadString(IDS_TOOL_CAPTION, MessageCaption, 256);
  return MessageCaption;
}
