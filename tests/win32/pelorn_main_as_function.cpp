// The pelorn tool's main, compiled as the function PelornMain for
// pelorn_batch: the very code of pelorn.exe, called once per job.
#define main PelornMain
#include "tools/pelorn/pelorn_main.cpp"
