#ifndef RUNNER_STARTUP_MARKS_H_
#define RUNNER_STARTUP_MARKS_H_

// Where the time from the process's creation to its first frame goes: each mark is the moment a
// phase of the start ended. A mark only reads the clock; nothing is written unless the
// environment variable KEELO_STARTUP_MARKS names a file, as the start-up benchmark does.
void MarkStartupPhase(const char* phase);

// Appends one "<phase> <microseconds since the process was created>" line per mark to the file
// KEELO_STARTUP_MARKS names, then forgets the marks. Called once the first frame is shown.
void WriteStartupMarks();

#endif  // RUNNER_STARTUP_MARKS_H_
