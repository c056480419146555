// Built into every program of the sanitizer builds.
//
// AddressSanitizer records where each thread's dynamic TLS block lies (the client library's
// thread-local data) and takes a heap block that starts 16 bytes into a page for one of
// glibc's own TLS blocks, reading a start and a size from the 16 bytes before it. With the
// default 16-byte redzone its own heap blocks start there now and then; the leak check at exit
// then scans a range made of those bytes and, when it is not mapped, dies ("Tracer caught
// signal 11") after a run that went right. With redzones of at least 256 bytes every heap block
// starts on a multiple of 64 bytes, so the mistake cannot happen.
extern "C" const char* __asan_default_options() { return "redzone=256"; }
