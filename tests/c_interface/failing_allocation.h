// Allocation failure on demand: after the next
// `allocations_left_before_failure` allocations through operator new
// succeed, every one fails until a test sets it back to -1.
#pragma once

extern long allocations_left_before_failure;
