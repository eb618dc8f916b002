# The text-mode streams are internal to kut: the white-box tests compile them in.
target_sources(test_decode PRIVATE ${PROJECT_SOURCE_DIR}/src/platform/textio.cpp)
