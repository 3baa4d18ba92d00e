// Asks the C library to back the heap with transparent huge pages, by
// starting the program again with the tunable set. On the machines the
// browser runs on, the first touch of fresh memory costs as much as the work
// done in it, and a dataset's rasters are all fresh memory.
#pragma once

// Returns only when the program goes on as it is (already restarted, the
// tunable set by the user, or the restart failed).
void restart_with_huge_pages(char **argv);
