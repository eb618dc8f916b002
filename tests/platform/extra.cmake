# The PE reader is internal to kut: its white-box tests compile it in.
target_sources(test_platform PRIVATE ${PROJECT_SOURCE_DIR}/src/platform/pe_reader.cpp)
# The command-line tests run the real kutrc.
if(TARGET kutrc)
  add_dependencies(test_platform kutrc)
  target_compile_definitions(test_platform PRIVATE KUTRC_PATH="$<TARGET_FILE:kutrc>")
endif()
