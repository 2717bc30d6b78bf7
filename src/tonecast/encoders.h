#pragma once
// The three sample encoders. Each writes the 12-byte wave information record and then the
// wave's samples at the stream's position, inside the open "DATA" block. The wave must have been
// aligned for the same encoding.

#include <cstdint>

#include "wavefile/strm.h"

class CMonoWave;

void write_pcm8(const CMonoWave& wave, strm::file& stream);
void write_pcm16(const CMonoWave& wave, strm::file& stream);
void write_adpcm(const CMonoWave& wave, strm::file& stream);

// The most samples in one piece of write_adpcm, coded in one lane of a thread's coder beside
// others: 32 KB of codes.
constexpr std::uint32_t kAdpcmPieceSamples = std::uint32_t{1} << 16;

// write_adpcm on up to `threads` threads, in pieces of at most `piece_samples` (a multiple of 8)
// and, unless that is less, at least 65536 samples. The bytes are the same for every number of
// threads and every piece size.
void write_adpcm_with(const CMonoWave& wave, strm::file& stream, unsigned threads,
                      std::uint32_t piece_samples);
