#pragma once
// What the program learns about the session it was started in.
#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace win32 {

// True when the process's window station is one a user sees. Services and the SYSTEM runs of
// deployment agents have a station no user sees: a message box there waits forever. When
// this cannot be told, nobody is assumed, so that a run can never hang on a box.
bool StationVisible();

// The Terminal Services session this process runs in (0: services, nobody's).
std::uint32_t SessionId();

Text UserName();

// Writes the text (UTF-8, CRLF line ends) to standard output when that is a file or a pipe
// (DesinstalaKavro1.exe /list > inventario.txt); a console or nothing gets nothing.
void WriteToStandardOutput(const Text& text);

// The command line as the process received it, and its arguments after the program's name.
Text RawCommandLine();
std::vector<Text> Arguments();

}  // namespace win32
