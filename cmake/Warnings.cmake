# Project warnings as an interface target that every target links PRIVATE.
option(OXEL_WERROR "Treat warnings as errors" OFF)

add_library(oxel_warnings INTERFACE)
target_compile_options(oxel_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    $<$<BOOL:${OXEL_WERROR}>:-Werror>)
