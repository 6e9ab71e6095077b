// What the Windows stop requests need beyond signals.h.
#pragma once

// The read that WaitForInput let begin has returned: a stop from now on
// waits for the loop to see it.
void InputWaitOver();
