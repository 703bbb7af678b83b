#pragma once
// Read-only registry access: the subkey names of a key, as the platform's registry provider
// hands them over (or, where it fails, as the registry functions list them), and the raw data
// of one value. Every operation names the registry view it looks at.
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

// On 64-bit Windows the registry has two views of HKEY_LOCAL_MACHINE\SOFTWARE: the 32-bit
// programs' and the 64-bit programs'. On 32-bit Windows there is only the first.
enum class RegistryView { ThirtyTwoBit, SixtyFourBit };

struct Value {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // True where the 64-bit view exists (64-bit Windows).
  virtual bool HasSixtyFourBitView() = 0;
  // The subkey names of hive\keyPath in the management provider's order. An element the
  // provider left without a name comes back empty. Nothing when the provider cannot be
  // reached, does not answer in time, or its call fails, a non-zero return of its EnumKey
  // included (so a missing key gives nothing here too).
  virtual std::optional<std::vector<Text>> EnumKey(HiveHandle hive, const Text& keyPath,
                                                   RegistryView view) = 0;
  // True once the provider has not answered within its bound (30 s): EnumKey then gave
  // nothing, and from then on asks it no more.
  virtual bool ProviderTimedOut() const = 0;
  // The subkey names of hive\keyPath through the registry functions, in the registry's
  // order; none when the key is missing or cannot be read.
  virtual std::vector<Text> EnumKeyDirect(HiveHandle hive, const Text& keyPath,
                                          RegistryView view) = 0;
  // The whole data of a value and its type, whatever its type and length; nothing when the
  // key cannot be opened or the value cannot be read.
  virtual std::optional<Value> QueryValue(HiveHandle hive, const Text& keyPath,
                                          const Text& valueName, RegistryView view) = 0;
  // True when the key exists (and can be opened for reading).
  virtual bool KeyExists(HiveHandle hive, const Text& keyPath, RegistryView view) = 0;
};

}  // namespace platform
