# Unit configuration files: copied as they are into the build tree's data/,
# where REP_ChkCfg finds them once the configuration folder points there.
set(_kut_units_outputs)
foreach(_cfg unimet.cfg uninmet.cfg)
  add_custom_command(
    OUTPUT ${KUT_DATA_OUT}/${_cfg}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_LIST_DIR}/${_cfg} ${KUT_DATA_OUT}/${_cfg}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/${_cfg}
    COMMENT "Copying ${_cfg}")
  list(APPEND _kut_units_outputs ${KUT_DATA_OUT}/${_cfg})
endforeach()
add_custom_target(kut_data_units DEPENDS ${_kut_units_outputs})
add_dependencies(kut_data kut_data_units)
