# The sample image file: kestoimg.img from the BMPs kept here, one folder per
# module (ARROWS, ICONS, SHAPES). The BMPs were drawn once by
# `kut img samples data/img`; the image file is built from them by
# `kut img build` at every change.
if(TARGET kut_cli AND (NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR))
  file(GLOB _kut_img_bmps CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*/*.bmp)
  add_custom_command(
    OUTPUT ${KUT_DATA_OUT}/kestoimg.img
    COMMAND kut_cli img build ${CMAKE_CURRENT_LIST_DIR} ${KUT_DATA_OUT}/kestoimg.img
    DEPENDS kut_cli ${_kut_img_bmps}
    COMMENT "Building the sample image file kestoimg.img"
    VERBATIM)
  add_custom_target(kut_data_img DEPENDS ${KUT_DATA_OUT}/kestoimg.img)
  add_dependencies(kut_data kut_data_img)
endif()
