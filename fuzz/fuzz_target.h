// The fuzz target's entry points, for the programs that drive it.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// True when the last input was abandoned at the work budget before its end.
bool LastInputOverBudget();
