#pragma once
// One entry of the log in the layout of configuration-management logs (CMTrace's), which the
// log viewers of deployment tools read with its time, severity and thread in columns, and
// which Notepad still shows as one event a line:
//
//   <![LOG[text]LOG]!><time="HH:MM:SS.mmm+bias" date="MM-DD-YYYY" component="DesinstalaKavro"
//   context="" type="1|2|3" thread="T" file="">
#include <cstdint>

#include "platform/log.h"

// When and where an entry was written. The bias is in minutes as these logs write it, UTC
// minus local time (Windows' own bias): +060 west of Greenwich by an hour, -060 east.
struct LogStamp {
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  int biasMinutes = 0;
  std::uint32_t thread = 0;
};

// The entry, one line without its line end. The text is kept whole, on one line, and can
// never end the entry early nor start another: "]LOG]!>" and "<![LOG[" in it get an invisible
// break.
Text CmtraceEntry(const Text& text, platform::Severity severity, const LogStamp& stamp);
