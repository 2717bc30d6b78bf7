#include "wavefile/OpenWaveFile.h"

#include <cstdint>
#include <cstdio>

#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"
#include "wavefile/CWaveFileException.h"
#include "wavefile/strm.h"

std::unique_ptr<CWaveFile> OpenWaveFile(const char* path) {
    std::uint32_t form_type = 0;
    {
        strm::file f(std::fopen(path, "rb"));
        if (!f.is_open()) throw CWaveFileExceptionCannotOpen(path);
        std::uint32_t container = 0, size = 0;
        // A file of fewer than 12 bytes throws strm::failure here; the handle closes it.
        strm::read_be32(f, container);
        strm::read_be32(f, size);
        strm::read_be32(f, form_type);
    }
    // Only the form type decides; each class checks its own container identifier on opening.
    std::unique_ptr<CWaveFile> wave;
    if (form_type == strm::fourcc("AIFF") || form_type == strm::fourcc("AIFC")) {
        wave = std::make_unique<CAiffFile>();
    } else if (form_type == strm::fourcc("WAVE")) {
        wave = std::make_unique<CWavFile>();
    } else {
        throw CWaveFileExceptionNotSupported(path);
    }
    // An exception from Open leaves through here and the unique_ptr destroys the object.
    wave->Open(path, CWaveFile::MODE_READ);
    return wave;
}
