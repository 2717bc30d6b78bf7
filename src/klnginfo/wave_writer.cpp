#include "src/klnginfo/wave_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "src/klnginfo/failure.h"
#include "wavefile/CAiffFile.h"
#include "wavefile/CWavFile.h"
#include "wavefile/strm.h"

namespace klng {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The library keeps sizes and offsets in 32-bit signed fields; this leaves room for any header.
constexpr std::uint64_t kMaxSamples = (0x7FFFFFFF - 0x10000) / 2;

void write_samples(CWaveFile& out, const std::vector<std::int16_t>& samples) {
    constexpr std::size_t kChunk = 4096;
    std::vector<std::uint8_t> raw(kChunk * 2);
    // WriteRaw reports every failed write. It is called once even for an empty wave: a header
    // that could not be written shows there too.
    std::size_t done = 0;
    do {
        const std::size_t n = std::min(kChunk, samples.size() - done);
        const std::uint32_t bytes =
            out.SamplesToRaw16(samples.data() + done, raw.data(), static_cast<std::uint32_t>(n));
        if (!out.WriteRaw(raw.data(), static_cast<std::int32_t>(bytes))) throw strm::failure();
        done += n;
    } while (done < samples.size());
}

}  // namespace

bool wave_format_for(const std::string& path, wave_format& format) {
    const std::string name = lower(path);
    if (ends_with(name, ".wav")) {
        format = wave_format::wav;
        return true;
    }
    if (ends_with(name, ".aif") || ends_with(name, ".aiff")) {
        format = wave_format::aiff;
        return true;
    }
    return false;
}

void write_wave(const std::string& path, wave_format format, const wave_info& w,
                const std::vector<std::int16_t>& samples, double rate) {
    const std::string cannot_write = "Cannot write " + path + ".";
    if (samples.size() > kMaxSamples) throw klnginfo_failure(cannot_write);
    std::unique_ptr<CWaveFile> out;
    if (format == wave_format::wav) {
        out = std::make_unique<CWavFile>();
    } else {
        out = std::make_unique<CAiffFile>();
        // AIFF states its frame count in the header, which is written once, at Open.
        out->SetSampleFrames(static_cast<std::int32_t>(samples.size()));
    }
    out->SetSampleRate(rate);
    out->SetBitsPerSample(16);
    out->SetChannels(1);
    if (w.looped) {
        // Half-open [start, end), as the interface counts loops; both fit, as the wave does.
        out->SetLoop(static_cast<std::int32_t>(w.loop_start),
                     static_cast<std::int32_t>(w.loop_start + w.loop_length));
    }
    out->Open(path.c_str(), CWaveFile::MODE_WRITE);  // CWaveFileExceptionCannotOpen
    try {
        write_samples(*out, samples);
        out->Close();
    } catch (...) {
        out->Close();  // Windows refuses to remove an open file
        std::remove(path.c_str());
        throw klnginfo_failure(cannot_write);
    }
}

}  // namespace klng
