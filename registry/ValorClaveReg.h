#pragma once
// ValorClaveReg: one registry value read as text.
#include "platform/registry.h"

namespace ValorClaveReg {

// The characters before the first NUL, or the whole text when it holds none.
Text CutAtNul(const Text& text);

// The value's data as text, whatever its length or type (its bytes taken as 16-bit code
// units), cut at the first NUL; the empty text when the key or the value cannot be read.
// Never fails and never shows anything.
Text ReadRegistryString(platform::Registry& registry, platform::HiveHandle hive,
                        const Text& keyPath, const Text& valueName);

}  // namespace ValorClaveReg
