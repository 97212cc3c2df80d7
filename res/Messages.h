// Loading catalogue texts (res/Messages.inc) into the two shared buffers the tool shows and logs from.
#pragma once

#include "res/resource.h"

// 255 characters and the terminator. Each load overwrites its buffer, so a text is shown or logged before
// the next one is loaded; the caption has a buffer of its own so a box can take both from two loads.
extern char16_t MessageText[256];
extern char16_t MessageCaption[256];

// Loads catalogue entry `id` into MessageText and returns MessageText.
const char16_t* LoadMessageText(unsigned id);

// Loads the tool's caption (entry 111) into MessageCaption and returns MessageCaption.
const char16_t* LoadToolCaption();
