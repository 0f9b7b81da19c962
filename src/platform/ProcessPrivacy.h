#pragma once

// Keeps the process's memory, which holds passwords and the database key, to itself: no core dump is written,
// and other processes of the same user can neither attach to it nor read it through /proc. Called first thing
// in main, before any secret is in memory.
void KeepMemoryPrivate();
