#pragma once
// Sizes that the unit tests hold the product to, each written once: the
// stub's image and where the archive starts after a settings block, as the
// combined file's layout promises them. The dialogs' control ids come from
// the product's own ui/control_ids.h, included here for the tests.
#include <stdint.h>

#include "ui/control_ids.h"

enum : uint32_t {
    kExpectedStubSize = 40448,
    kExpectedArchiveOffset = 40704,  // after the settings block of 256 bytes
};
