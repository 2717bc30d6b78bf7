#pragma once
// Opens an input sound file without knowing its format.

#include <memory>

#include "wavefile/CWaveFile.h"

// Looks at bytes 8 to 11 of the file ("WAVE", "AIFF" or "AIFC"), creates the matching
// implementation and opens it for reading, positioned at its first sample. Throws
// CWaveFileExceptionCannotOpen, strm::failure (fewer than 12 bytes),
// CWaveFileExceptionNotSupported (another form type) or the implementation's exception.
std::unique_ptr<CWaveFile> OpenWaveFile(const char* path);
