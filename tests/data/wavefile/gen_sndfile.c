/* Writes two fixtures with libsndfile (not with tonecast's own library):
 *   sndfile_loop16.wav  16-bit WAV, 11025 Hz, 400 frames, a "smpl" chunk from SFC_SET_INSTRUMENT:
 *                       base note 69, one forward loop from frame 100 up to (not including) 300
 *   sndfile_s24.aiff    24-bit AIFF, 11025 Hz, 400 frames, no instrument
 * Build: cc -O2 gen_sndfile.c -o gen_sndfile -lsndfile -lm  (Debian: libsndfile1-dev) */
#include <math.h>
#include <sndfile.h>
#include <stdio.h>
#include <string.h>

enum { kFrames = 400, kRate = 11025 };

static int write_file(const char* path, int format, int with_loop) {
    SF_INFO info;
    memset(&info, 0, sizeof info);
    info.samplerate = kRate;
    info.channels = 1;
    info.format = format;
    SNDFILE* f = sf_open(path, SFM_WRITE, &info);
    if (!f) {
        fprintf(stderr, "%s: %s\n", path, sf_strerror(NULL));
        return 1;
    }
    if (with_loop) {
        SF_INSTRUMENT inst;
        memset(&inst, 0, sizeof inst);
        inst.basenote = 69;
        inst.velocity_lo = 1;
        inst.velocity_hi = 127;
        inst.key_hi = 127;
        inst.loop_count = 1;
        inst.loops[0].mode = SF_LOOP_FORWARD;
        inst.loops[0].start = 100;
        inst.loops[0].end = 300; /* libsndfile's end is exclusive; "smpl" stores 299 */
        if (sf_command(f, SFC_SET_INSTRUMENT, &inst, sizeof inst) != SF_TRUE) {
            fprintf(stderr, "%s: instrument refused\n", path);
            return 1;
        }
    }
    int samples[kFrames];
    for (int i = 0; i < kFrames; ++i) {
        samples[i] = (int)lrint(sin(i * 2 * M_PI * 440.0 / kRate) * 0.5 * 2147483647.0);
    }
    sf_write_int(f, samples, kFrames);
    return sf_close(f) != 0;
}

int main(void) {
    return write_file("sndfile_loop16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1) |
           write_file("sndfile_s24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 0);
}
