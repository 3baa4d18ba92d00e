// Marks what the data-model libraries show to their users; everything else
// in them is hidden.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define OXEL_EXPORT __attribute__((visibility("default")))
#else
#define OXEL_EXPORT
#endif
