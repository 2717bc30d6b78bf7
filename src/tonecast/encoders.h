#pragma once
// The three sample encoders. Each writes the 12-byte wave information record and then the
// wave's samples at the stream's position, inside the open "DATA" block. The wave must have been
// aligned for the same encoding.

#include <cstdint>
#include <vector>

#include "codec/ima_adpcm.h"
#include "wavefile/strm.h"

class CMonoWave;

// Samples between the states kept of a piece of IMA-ADPCM coded from a guessed state: where
// mending it may find its coder agreeing with the true one.
constexpr std::uint32_t kAdpcmCheckpointSamples = 1024;

// IMA-ADPCM codes of a wave's first samples, made while the resampler wrote them (align_wave
// with AVX-512): `count` pieces of `length` samples (a multiple of kAdpcmCheckpointSamples) from
// the first sample on, each coded by one thread, the first from the true state, the others from
// predictor 0, step index 0, with each piece's state before every kAdpcmCheckpointSamples
// samples and at its end. write_adpcm mends them as it mends its own pieces. None (count 0)
// when the wave was not resampled that way.
struct adpcm_pieces {
    std::uint32_t length = 0;
    std::uint32_t count = 0;
    std::vector<unsigned char> bytes;      // length / 2 per piece, piece after piece
    std::vector<adpcm_state> checkpoints;  // length / kAdpcmCheckpointSamples per piece
    std::vector<adpcm_state> start;        // per piece, the state its coding began from
    std::vector<adpcm_state> end;          // per piece, the state its coding ended in
};

void write_pcm8(const CMonoWave& wave, strm::file& stream);
void write_pcm16(const CMonoWave& wave, strm::file& stream);
void write_adpcm(const CMonoWave& wave, strm::file& stream);
// write_adpcm of a wave whose first samples the resampling coded into `coded`: their codes are
// taken from it.
void write_adpcm_coded(const CMonoWave& wave, strm::file& stream, adpcm_pieces& coded);

// The most samples in one piece of write_adpcm, coded in one lane of a thread's coder beside
// others: 32 KB of codes.
constexpr std::uint32_t kAdpcmPieceSamples = std::uint32_t{1} << 16;

// write_adpcm on up to `threads` threads, in pieces of at most `piece_samples` (a multiple of 8)
// and, unless that is less, at least 65536 samples. The bytes are the same for every number of
// threads and every piece size.
void write_adpcm_with(const CMonoWave& wave, strm::file& stream, unsigned threads,
                      std::uint32_t piece_samples, adpcm_pieces* coded = nullptr);
