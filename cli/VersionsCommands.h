#pragma once
// kestrow-cli versions list TARGET
// kestrow-cli versions show TARGET MOMENT
// kestrow-cli versions restore TARGET MOMENT [ITEM...] [--to DIR] [--dry-run]
//
// The old versions a run kept of a Target: its moments, what one holds, and the
// restore of a moment or some of its items through the program's restore (a copy
// that never deletes) into DIR, else into the Source of the task that has TARGET
// among its Targets. The versions live where kestrow.ini's VersionsFolder (or
// --versions-folder) says, else in TARGET's own ".kestrow-versions".

namespace kestrow::cli {

// Runs `versions` with argv[first] its sub-command. Exit status: 0 done (also a
// Target without old versions); 1 a TARGET that is no folder, an unknown moment or
// item, a versions folder that cannot be read, a restore that ended with errors;
// 2 bad usage (also a restore without --to whose TARGET no task has, or several
// tasks with different Sources have); 3 a restore cancelled by a signal.
int runVersionsCommand(int argc, char* argv[], int first);

const char* versionsUsage();

} // namespace kestrow::cli
