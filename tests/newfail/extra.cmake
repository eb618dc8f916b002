# The program replaces the global operator new with one over malloc, and its
# operator delete frees with free: the pair matches, whatever GCC infers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(test_${name} PRIVATE -Wno-mismatched-new-delete)
endif()
