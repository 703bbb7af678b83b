#pragma once
// Read-only registry access: the subkey names of a key, as the platform's registry provider
// hands them over, and the raw data of one value. Both see the same registry view.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace platform {

// One of the platform's predefined registry roots, as a signed 32-bit value.
using HiveHandle = std::int32_t;
inline constexpr HiveHandle kHkeyLocalMachine = static_cast<HiveHandle>(0x80000002u);

// The registry's value types that the program tells apart.
inline constexpr std::uint32_t kRegExpandSz = 2;

struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // The subkey names of hive\keyPath in the provider's order. An element the provider left
  // without a name comes back empty. No names at all when the key is missing, has no
  // subkeys, or the provider cannot be reached: the listing never fails.
  virtual std::vector<Text> EnumKey(HiveHandle hive, const Text& keyPath) = 0;
  // The whole data of a value and its type, whatever its type and length; nothing when the
  // key cannot be opened or the value cannot be read.
  virtual std::optional<Value> QueryValue(HiveHandle hive, const Text& keyPath,
                                          const Text& valueName) = 0;
  // True when the key exists (and can be opened for reading).
  virtual bool KeyExists(HiveHandle hive, const Text& keyPath) = 0;
};

}  // namespace platform
