#pragma once
// The run's receipt, where deployment agents' own detection rules read it (a registry value,
// no script): HKEY_LOCAL_MACHINE\SOFTWARE\DesinstalaKavro in the 64-bit view on 64-bit Windows
// (the only view on 32-bit Windows), whichever build writes it. Values: Queda (REG_DWORD, 1
// while something of the suite remains), CodigoDeSalida (REG_DWORD), Inicio and Fin (REG_SZ,
// UTC, "2026-12-10T16:18:08Z"), Version and Registro (REG_SZ). The key is SYSTEM's and the
// administrators' (users may read it): its permissions are set again on every write, so that
// nobody else can write what agents read. It is the program's only registry write.
#include <optional>

#include "platform/error.h"
#include "platform/text.h"
#include "run/ExitStatus.h"

namespace win32 {

inline constexpr wchar_t kReceiptKey[] = L"SOFTWARE\\DesinstalaKavro";

// At the start (no exit status yet): Queda 1, Inicio now, and the last run's CodigoDeSalida and
// Fin removed, so that a run ended from outside leaves no verdict it did not reach. At the end:
// Queda, CodigoDeSalida, Fin, and OtrosPodianCambiar (REG_SZ, removed when there is none).
// Why not, when it could not be written.
std::optional<platform::Error> RecordReceipt(const Receipt& receipt, const Text& version,
                                             const Text& logPath);

// OtrosPodianCambiar as the last run left it (Receipt::othersCouldChange); nothing without one.
std::optional<Text> OthersCouldChangeBefore();

}  // namespace win32
