/* Writes audiofile_loop16.aiff with the Audio File Library (libaudiofile), which writes an AIFF
 * instrument: 16-bit, 22050 Hz, 400 frames, base note 69, markers 1 at 100 and 2 at 300 (and
 * 3, 4 at 0 for the unused release loop), sustain loop forward from marker 1 to marker 2.
 * (libsndfile 1.2 writes no INST chunk into AIFF, so it cannot make this file.)
 * Build: cc -O2 gen_audiofile.c -o gen_audiofile -laudiofile -lm  (Debian: libaudiofile-dev) */
#include <audiofile.h>
#include <math.h>

int main(void) {
    AFfilesetup setup = afNewFileSetup();
    afInitFileFormat(setup, AF_FILE_AIFF);
    afInitChannels(setup, AF_DEFAULT_TRACK, 1);
    afInitSampleFormat(setup, AF_DEFAULT_TRACK, AF_SAMPFMT_TWOSCOMP, 16);
    afInitRate(setup, AF_DEFAULT_TRACK, 22050);
    int marks[4] = {1, 2, 3, 4};
    afInitMarkIDs(setup, AF_DEFAULT_TRACK, marks, 4);
    int instruments[1] = {AF_DEFAULT_INST};
    afInitInstIDs(setup, instruments, 1);
    int loops[2] = {1, 2}; /* AIFF's sustain and release loops */
    afInitLoopIDs(setup, AF_DEFAULT_INST, loops, 2);
    AFfilehandle f = afOpenFile("audiofile_loop16.aiff", "w", setup);
    if (f == AF_NULL_FILEHANDLE) return 1;
    afSetMarkPosition(f, AF_DEFAULT_TRACK, 1, 100);
    afSetMarkPosition(f, AF_DEFAULT_TRACK, 2, 300);
    afSetLoopStart(f, AF_DEFAULT_INST, 1, 1);
    afSetLoopEnd(f, AF_DEFAULT_INST, 1, 2);
    afSetLoopMode(f, AF_DEFAULT_INST, 1, AF_LOOP_MODE_FORW);
    afSetInstParamLong(f, AF_DEFAULT_INST, AF_INST_MIDI_BASENOTE, 69);
    short samples[400];
    for (int i = 0; i < 400; ++i) samples[i] = (short)lrint(sin(i * 2 * M_PI * 440.0 / 22050) * 16000);
    afWriteFrames(f, AF_DEFAULT_TRACK, samples, 400);
    return afCloseFile(f) != 0;
}
