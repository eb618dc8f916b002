# The translation tests also run the built kut program, as tests/cli does.
if(TARGET kut_cli)
  target_compile_definitions(test_translate PRIVATE KUT_CLI_PATH="$<TARGET_FILE:kut_cli>")
  add_dependencies(test_translate kut_cli)
endif()
