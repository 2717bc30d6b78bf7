#include "wavefile/CWaveFileException.h"

namespace {
// The library's one message, "an error occurred in wave file input or output", kept as the
// 40 bytes of its Shift-JIS (code page 932) encoding that callers of this library have always
// received.
const char kDefaultMessage[] =
    "\x94\x67\x8c\x60\x83\x74\x83\x40\x83\x43\x83\x8b\x93\xfc\x8f\x6f\x97\xcd\x82\xc5"
    "\x83\x47\x83\x89\x81\x5b\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
}  // namespace

CWaveFileException::CWaveFileException(const char* path)
    : message(kDefaultMessage), filename(path ? path : "") {}
