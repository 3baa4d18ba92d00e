# The fuzz target of spotscan's JPEG input (clang's libFuzzer, -DOXEL_FUZZ=ON).
if(OXEL_FUZZ)
endif()
