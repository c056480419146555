#include "platform/handed_stream.h"

// Windows programs are not run by fbwarm-check, so nothing hands a stream over by number.
HandedStream::HandedStream(int) { failure_ = u"unter Windows nicht unterstuetzt"; }

HandedStream::~HandedStream() = default;

bool HandedStream::Write(std::string_view) { return false; }
