# The fuzz target of spotscan's JPEG input, built with clang's libFuzzer
# (-DOXEL_FUZZ=ON): fuzz_spotscan_jpeg. Its seeds are in
# tests/fuzz/corpus/spotscan_jpeg, the inputs that once failed in
# tests/fuzz/regressions/spotscan_jpeg (replayed by spotscan_tests).
if(OXEL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "OXEL_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
    endif()
    set(spotscan_fuzz_flags -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    # The detector's files again, instrumented for coverage and checked by
    # the sanitizers; the normal libraries stay as they are.
    get_target_property(spotscan_fuzz_regions spotscan_regions SOURCES)
    get_target_property(spotscan_fuzz_io spotscan_io SOURCES)
    add_library(spotscan_fuzzed STATIC ${spotscan_fuzz_regions} ${spotscan_fuzz_io})
    target_include_directories(spotscan_fuzzed PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_options(spotscan_fuzzed PRIVATE ${spotscan_fuzz_flags})
    target_link_libraries(spotscan_fuzzed PUBLIC spotscan_jpeg PRIVATE oxel_warnings)

    add_executable(fuzz_spotscan_jpeg ${PROJECT_SOURCE_DIR}/tests/fuzz/spotscan_jpeg.cpp)
    target_compile_options(fuzz_spotscan_jpeg PRIVATE ${spotscan_fuzz_flags})
    target_link_options(fuzz_spotscan_jpeg PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_spotscan_jpeg PRIVATE spotscan_fuzzed oxel_warnings)
endif()
