#include "ProcessPrivacy.h"

#include <sys/prctl.h>
#include <sys/resource.h>

void KeepMemoryPrivate()
{
    // Neither call can fail with these arguments; a process may always lower its own limit.
    ::prctl(PR_SET_DUMPABLE, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

void ShowProcessToUser()
{
    ::prctl(PR_SET_DUMPABLE, 1);
}
