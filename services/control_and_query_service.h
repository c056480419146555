// TIBControlAndQueryService: reads the text that a started action produces, one line or one
// chunk per query, until the server reports its end.
#pragma once

#include <string>

#include "services/control_service.h"

class TIBControlAndQueryService : public TIBControlService {
 public:
  using TIBControlService::TIBControlService;

  // True once the last line or chunk was read; a new start clears it.
  bool Eof() const { return FEof; }

  // The output buffer's size in bytes, 32000 unless set. Refused outside 4..65535: the size
  // travels as an unsigned 16-bit value and the smallest answer takes 4 bytes.
  int BufferSize() const { return FBufferSize; }
  void SetBufferSize(int value);

  // The next line of the action's output, as received (no line break added). The empty
  // line that ends the output sets Eof; after that no query is made and "" is returned.
  std::u16string GetNextLine();
  // The next chunk of the action's output as the server's bytes, unconverted.
  std::string GetNextChunk();

 protected:
  bool FEof = false;
  int FAction = 0;  // the action code of the last start request built; 0 while none

 private:
  // Queries with the one request item and checks the echo; returns the answer's text length.
  size_t QueryText(char item);
  // The text at offset 3, up to the terminator at 3 + length (overwritten with 0) or an
  // earlier zero byte.
  std::string TextOfAnswer(size_t length);
};
