# The PE reader is internal to kut: its white-box tests compile it in.
target_sources(test_platform PRIVATE ${PROJECT_SOURCE_DIR}/src/langlib/pe_reader.cpp)
