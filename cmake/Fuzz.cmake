# libFuzzer targets: -DOXEL_FUZZ=ON with clang builds the whole project with
# coverage for the fuzzer and the address and undefined-behaviour sanitizers.
option(OXEL_FUZZ "Build the libFuzzer targets (clang only)" OFF)

if(OXEL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "OXEL_FUZZ needs clang (CC=clang CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    add_custom_target(fuzz_targets)
    # Every fuzzer of the tree joins fuzz_targets, also those whose folder
    # builds its own (named fuzz_NAME, seeds in tests/fuzz/corpus/NAME).
    function(oxel_collect_fuzzers dir)
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(t IN LISTS targets)
            if(t MATCHES "^fuzz_" AND NOT t MATCHES "^fuzz_(replay_|targets$)")
                add_dependencies(fuzz_targets ${t})
            endif()
        endforeach()
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        foreach(sub IN LISTS subdirs)
            oxel_collect_fuzzers(${sub})
        endforeach()
    endfunction()
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL oxel_collect_fuzzers ${CMAKE_SOURCE_DIR})
endif()

# oxel_fuzz_target(NAME SOURCES ... LINKS ...): the entry LLVMFuzzerTestOneInput
# in SOURCES becomes, with OXEL_FUZZ, the fuzzer fuzz_NAME (seeds in
# tests/fuzz/corpus/NAME); in every build with tests, a GoogleTest program
# replays tests/fuzz/regressions/NAME and the seeds through the same entry,
# so every input that ever crashed it is checked without clang.
function(oxel_fuzz_target name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${name})
    set(regressions ${PROJECT_SOURCE_DIR}/tests/fuzz/regressions/${name})
    if(OXEL_FUZZ)
        add_executable(fuzz_${name} ${ARG_SOURCES})
        target_link_libraries(fuzz_${name} PRIVATE ${ARG_LINKS})
        target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
        add_dependencies(fuzz_targets fuzz_${name})
    endif()
    if(OXEL_BUILD_TESTS)
        add_executable(fuzz_replay_${name} ${ARG_SOURCES}
                       ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_test.cpp)
        target_link_libraries(fuzz_replay_${name} PRIVATE ${ARG_LINKS} GTest::gtest_main
                              oxel_warnings)
        target_compile_definitions(fuzz_replay_${name} PRIVATE
            FUZZ_INPUTS="${regressions}:${corpus}")
        gtest_discover_tests(fuzz_replay_${name} TEST_PREFIX "${name}."
                             DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
    endif()
endfunction()
