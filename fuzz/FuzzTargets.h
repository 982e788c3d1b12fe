#pragma once

#include <cstddef>
#include <cstdint>

// The parsers' entry points for fuzzing, one per name; -1 for an unknown name.
// Each takes any bytes; a crash, a hang or a sanitizer report is the finding.
int fuzzTarget(const char *name, const uint8_t *data, size_t size);
// The names, ending with nullptr.
extern const char *const FuzzTargetNames[];
