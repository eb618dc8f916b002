# Decoding data: code-page files (Decod001/034/048.dcd, the built-in 437, 850
# and 852 tables written out), dictionary files (Decod001/034.dct Latin,
# Decod048.dct Central European) and a DOS text in code page 850
# (sample850.txt). Copied as they are into the build tree's data/, the folder
# that directory kind 5 names once KBASE_DIR_5 points there.
set(_kut_decode_outputs)
foreach(_file Decod001.dcd Decod034.dcd Decod048.dcd Decod001.dct Decod034.dct Decod048.dct sample850.txt)
  add_custom_command(
    OUTPUT ${KUT_DATA_OUT}/${_file}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_LIST_DIR}/${_file} ${KUT_DATA_OUT}/${_file}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${_file}
    COMMENT "Copying ${_file}")
  list(APPEND _kut_decode_outputs ${KUT_DATA_OUT}/${_file})
endforeach()
add_custom_target(kut_data_decode DEPENDS ${_kut_decode_outputs})
add_dependencies(kut_data kut_data_decode)
