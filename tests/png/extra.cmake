# The PNG tests also run the built kut program on the build tree's sample
# image file.
if(TARGET kut_cli)
  target_compile_definitions(test_png PRIVATE KUT_CLI_PATH="$<TARGET_FILE:kut_cli>")
  add_dependencies(test_png kut_cli)
  if(TARGET kut_data)
    add_dependencies(test_png kut_data)
  endif()
endif()
