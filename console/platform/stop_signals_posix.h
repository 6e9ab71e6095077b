// What only the POSIX side of the stop signals offers: a wait that no
// signal can slip past, for the key editor's wait for a key.
#pragma once

#include <initializer_list>

// Waits for `events` (poll's) on `fd`. The stop signals and `also_blocked`
// stay blocked from the check of `must_stop(context)` until the wait
// begins, so none of them slips in between: false when `must_stop` holds
// before or after the wait, true when `fd` is ready or poll failed for
// another reason than a signal (the read or write itself then reports it).
bool WaitUnlessStopped(int fd, short events, std::initializer_list<int> also_blocked,
                       bool (*must_stop)(void* context), void* context);
