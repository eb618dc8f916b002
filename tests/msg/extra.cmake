# The table-capacity checks ask the address sanitizer which bytes it poisons.
if(KUT_SANITIZE)
  target_compile_definitions(test_msg PRIVATE KUT_TEST_ASAN=1)
endif()
