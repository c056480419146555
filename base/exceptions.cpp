#include "base/exceptions.h"

#include "base/text.h"

namespace {

std::u16string NumberedInOutMessage(int code) { return u"E/A-Fehler " + DecimalText(code); }

std::u16string InOutMessage(int code) {
  switch (code) {
    case 5:
      return u"Dateizugriff verweigert";
    case 101:
      return u"Zu wenig Speicherplatz";
    default:
      return NumberedInOutMessage(code);
  }
}

std::u16string OSErrorMessage(int code, const std::u16string& system_text) {
  if (code == 0) return u"Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen";
  // The platform's text loses its trailing line ends, blanks and full stops.
  std::u16string text = system_text;
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
  return u"Systemfehler.  Code: " + DecimalText(code) + u".\r\n" + text;
}

}  // namespace

Exception::Exception(std::u16string message)
    : message_(std::move(message)), what_(Utf16ToUtf8(message_)) {}

EOutOfMemory::EOutOfMemory() : Exception(u"Zu wenig Arbeitsspeicher") {}

EInOutError::EInOutError(int code) : EInOutError(code, InOutMessage(code)) {}

EInOutError::EInOutError(int code, std::u16string message)
    : Exception(std::move(message)), code_(code) {}

EInOutError EInOutError::Numbered(int code) {
  return EInOutError(code, NumberedInOutMessage(code));
}

EOSError::EOSError(int code, const std::u16string& system_text)
    : Exception(OSErrorMessage(code, system_text)), code_(code) {}
