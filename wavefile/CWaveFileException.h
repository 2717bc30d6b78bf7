#pragma once
// The wave file library's failures. Each carries the path exactly as the caller gave it; the
// program prints that path, never the message. Deliberately not derived from std::exception,
// so that a handler for the standard exceptions does not swallow them.

#include <string>

class CWaveFileException {
public:
    virtual ~CWaveFileException() = default;
    virtual const char* GetMessage() const { return message.c_str(); }

    std::string message;
    std::string filename;

protected:
    explicit CWaveFileException(const char* path);
};

// The file cannot be opened for reading or created for writing.
class CWaveFileExceptionCannotOpen : public CWaveFileException {
public:
    explicit CWaveFileExceptionCannotOpen(const char* path) : CWaveFileException(path) {}
};

// The file's header cannot be parsed.
class CWaveFileExceptionBadFormat : public CWaveFileException {
public:
    explicit CWaveFileExceptionBadFormat(const char* path) : CWaveFileException(path) {}
};

// The file is neither AIFF nor WAV.
class CWaveFileExceptionNotSupported : public CWaveFileException {
public:
    explicit CWaveFileExceptionNotSupported(const char* path) : CWaveFileException(path) {}
};
