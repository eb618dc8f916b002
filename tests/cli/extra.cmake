# The command-line tests run the built kut program (and kutrc, kutimg) on the
# sample data of the build tree.
if(TARGET kut_cli)
  target_compile_definitions(test_cli PRIVATE KUT_CLI_PATH="$<TARGET_FILE:kut_cli>")
  add_dependencies(test_cli kut_cli)
  if(TARGET kutrc)
    add_dependencies(test_cli kutrc)  # run from beside kut
  endif()
  if(TARGET kut_data)
    add_dependencies(test_cli kut_data)
  endif()
endif()
foreach(_tool kutrc kutimg)
  if(TARGET ${_tool})
    string(TOUPPER ${_tool} _define)
    target_compile_definitions(test_cli PRIVATE ${_define}_PATH="$<TARGET_FILE:${_tool}>")
    add_dependencies(test_cli ${_tool})
  endif()
endforeach()
