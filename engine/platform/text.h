#pragma once
// Conversion between window text (UTF-16 on Windows, wide text elsewhere) and
// the UTF-8 paths the engine works with.

#include <string>

// UTF-8 text of `wide`. Text that is not valid UTF-16 (a lone surrogate)
// becomes U+FFFD, the replacement character.
std::string ToNarrowPath(const std::wstring& wide);

// Wide text of the UTF-8 `narrow`, for the platform's wide calls and window text.
std::wstring ToWidePath(const std::string& narrow);
