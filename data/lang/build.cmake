# Sample language libraries of the module KMAIN (file prefix KEST_): one
# catalog per language, KEST_<language>.txt, built by `kut msg build` into
# KEST_<language>.dll next to the other sample data.
if(TARGET kut_cli AND (NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR))
  file(GLOB _kut_lang_catalogs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.txt)
  set(_kut_lang_outputs)
  foreach(_catalog IN LISTS _kut_lang_catalogs)
    get_filename_component(_name ${_catalog} NAME_WE)
    add_custom_command(
      OUTPUT ${KUT_DATA_OUT}/${_name}.dll
      COMMAND kut_cli msg build ${_catalog} ${KUT_DATA_OUT}/${_name}.dll
      DEPENDS kut_cli ${_catalog}
      COMMENT "Building the sample language library ${_name}.dll"
      VERBATIM)
    list(APPEND _kut_lang_outputs ${KUT_DATA_OUT}/${_name}.dll)
  endforeach()
  add_custom_target(kut_data_lang DEPENDS ${_kut_lang_outputs})
  add_dependencies(kut_data kut_data_lang)
endif()
