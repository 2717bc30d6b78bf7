// Linked into tonecast.exe only. cmd.exe hands "*.wav" to a program as it was typed; POSIX
// shells expand it before the program starts. With this switch the MinGW-w64 start-up code
// expands wildcards in the arguments as well, so `tonecast *.wav` converts every matching file
// on both systems. An argument that matches nothing, or that was quoted, stays as it is.
extern "C" {
int _dowildcard = -1;
}
