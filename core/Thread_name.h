// Names and priorities of the program's own threads, for debuggers and
// profilers ("quorvane-run", "quorvane-clock").
#pragma once

#include <string>

// Names the calling thread; Linux keeps at most 15 characters, so longer
// names are cut there.
void NameCurrentThread(const std::string& name);

// Asks for a higher scheduling priority for the calling thread (the run
// thread, the clock). Best effort: without the privilege to raise it the
// thread stays as it is and the call returns false.
bool RaiseCurrentThreadPriority();
