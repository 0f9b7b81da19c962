#pragma once

// Keeps the process's memory, which holds passwords and the database key, to itself: no core dump is written,
// and other processes of the same user can neither attach to it nor read it through /proc. Called first thing
// in main, before any secret is in memory.
void KeepMemoryPrivate();

// Opens the process's /proc entries to its user again, as the desktop's settings portal needs in order to tell which
// program asks it, until KeepMemoryPrivate is called again; no core dump is written meanwhile either. Only while
// nothing private is in memory: before any logon.
void ShowProcessToUser();
