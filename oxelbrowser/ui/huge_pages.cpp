// Restarting the program with the heap on transparent huge pages.
#include "huge_pages.h"

#include <cstdlib> // std::getenv, setenv
#include <string>
#include <unistd.h> // execv

void restart_with_huge_pages(char **argv)
{
    const char *marker = "OXELBROWSER_HEAP_SET";
    if (std::getenv(marker))
        return;
    std::string tunables;
    if (const char *old = std::getenv("GLIBC_TUNABLES")) {
        tunables = old;
        if (tunables.find("glibc.malloc.hugetlb") != std::string::npos)
            return;
        tunables += ":";
    }
    tunables += "glibc.malloc.hugetlb=1";
    setenv(marker, "1", 1);
    setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
    execv("/proc/self/exe", argv);
    // Not restarted: go on with the ordinary heap.
}
