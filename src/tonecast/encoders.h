#pragma once
// The three sample encoders. Each writes the 12-byte wave information record and then the
// wave's samples at the stream's position, inside the open "DATA" block. The wave must have been
// aligned for the same encoding.

#include "wavefile/strm.h"

class CMonoWave;

void write_pcm8(const CMonoWave& wave, strm::file& stream);
void write_pcm16(const CMonoWave& wave, strm::file& stream);
void write_adpcm(const CMonoWave& wave, strm::file& stream);
