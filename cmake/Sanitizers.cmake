# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build.
option(OXEL_SANITIZE "Build with address and undefined-behaviour sanitizers" OFF)

if(OXEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
