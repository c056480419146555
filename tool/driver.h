// The program's run: help text, native file cache, statistics warm-up run, and the one error
// handler that turns every failure into a "FEHLER " line.
#pragma once

// Runs the whole sequence and returns the process's exit code: 0 after every run that reaches
// its end, 1 when an error escaped the handler because standard output itself failed.
int RunProgram();
