// The program's run: the help text, or the steps of a warm-up in their order (the read-through
// of the database file, the statistics run, what the server says about its cache), the console
// they print on, and the one error handler that turns every failure into a "FEHLER " line.
#pragma once

// Runs the whole sequence and returns the process's exit code: 0 after every run that reaches
// its end, 1 when an error escaped the handler because standard output itself failed.
int RunProgram();
