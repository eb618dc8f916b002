# The consumer test installs this build tree into a temporary prefix and
# builds the README's program against it, with the same cmake.
target_compile_definitions(test_consumer PRIVATE KUT_CMAKE_COMMAND="${CMAKE_COMMAND}")
if(TARGET kut_cli)
  add_dependencies(test_consumer kut_cli)
endif()
if(TARGET kut_data)
  add_dependencies(test_consumer kut_data)
endif()
# A sanitizer build's libraries need the sanitizer run-time in the program
# that loads them; a user's program is built without it.
if(KUT_SANITIZE)
  target_compile_definitions(test_consumer PRIVATE KUT_CONSUMER_SKIP="the libraries of a sanitizer build need its run-time in the user's program")
endif()
