# The tests read the sample image file of the build tree.
if(TARGET kut_data)
  add_dependencies(test_img kut_data)
endif()
