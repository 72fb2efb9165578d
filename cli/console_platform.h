#pragma once
// The platform's half of console.h.

#include <string_view>

#include "console.h"

// Writes and flushes `text`; false when the stream did not take all of it, with errno set.
bool WriteToStream(OutputStream stream, std::string_view text);
