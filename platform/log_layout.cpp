#include "platform/log_layout.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

Text Ascii(const char* text) {
  const std::string bytes(text);
  return Text(bytes.begin(), bytes.end());
}

}  // namespace

Text CmtraceEntry(const Text& text, platform::Severity severity, const LogStamp& stamp) {
  Text safe = text;
  for (char16_t& c : safe)
    if (c == u'\r' || c == u'\n') c = u' ';
  // The viewers end an entry's text at the first "]LOG]!>" and start one at "<![LOG["; a
  // zero-width space inside each keeps the text one entry.
  for (const char16_t* marker : {u"]LOG]!>", u"<![LOG["}) {
    const TextView found(marker);
    for (std::size_t at = safe.find(found); at != Text::npos;
         at = safe.find(found, at + found.size()))
      safe.insert(at + found.size() - 1, 1, u'\u200B');
  }
  char fields[160];
  std::snprintf(fields, sizeof fields,
                "]LOG]!><time=\"%02u:%02u:%02u.%03u%c%03d\" date=\"%02u-%02u-%04u\" "
                "component=\"DesinstalaKavro\" "
                "context=\"\" type=\"%d\" thread=\"%u\" file=\"\">",
                stamp.hour, stamp.minute, stamp.second, stamp.millisecond,
                stamp.biasMinutes < 0 ? '-' : '+', std::abs(stamp.biasMinutes), stamp.month,
                stamp.day, stamp.year, static_cast<int>(severity),
                static_cast<unsigned>(stamp.thread));
  return u"<![LOG[" + safe + Ascii(fields);
}
