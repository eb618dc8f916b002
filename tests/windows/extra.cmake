# test_windows (built for the Windows target only): the export table of
# kut.dll, and the system loader against our PE reader.

# The reader and the Win32 backend, compiled in: kut.dll does not export
# them.
target_sources(test_windows PRIVATE
  ${PROJECT_SOURCE_DIR}/src/platform/pe_reader.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/platform_win32.cpp)

# A language library made by the GNU resource tools: windres compiles the .rc
# into a COFF object, ld links it into a DLL with no code and no entry point.
set(kut_rc_dir ${CMAKE_CURRENT_BINARY_DIR}/windres)
set(kut_rc_lib ${kut_rc_dir}/WRES_001.dll)
if(NOT CMAKE_RC_COMPILER)
  set(CMAKE_RC_COMPILER ${KUT_MINGW_TRIPLE}-windres)
endif()
add_custom_command(OUTPUT ${kut_rc_lib}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${kut_rc_dir}
  COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${dir}/strings.rc -o ${kut_rc_dir}/strings.res.o
  COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -Wl,-e,0 -s -o ${kut_rc_lib} ${kut_rc_dir}/strings.res.o
  DEPENDS ${dir}/strings.rc
  COMMENT "windres: language library from strings.rc"
  VERBATIM)
add_custom_target(kut_windres_lib DEPENDS ${kut_rc_lib})
add_dependencies(test_windows kut_windres_lib)
# The sample language libraries of the build's data folder are compared too.
if(TARGET kut_data)
  add_dependencies(test_windows kut_data)
endif()
target_compile_definitions(test_windows PRIVATE KUT_WINDRES_LIB="${kut_rc_lib}")

# The export tables, read on the build host with the cross binutils: kut.dll,
# and the two sibling stand-ins that kut.dll imports from.
if(NOT CMAKE_OBJDUMP)
  set(CMAKE_OBJDUMP ${KUT_MINGW_TRIPLE}-objdump)
endif()
foreach(lib IN ITEMS kut kbase kopts)
  if(lib STREQUAL "kut")
    set(list ${dir}/exports.txt)
    set(testname Exports.KutDllExportsEveryNameLetterForLetter)
  else()
    set(list ${dir}/exports-${lib}.txt)
    string(SUBSTRING ${lib} 0 1 first)
    string(TOUPPER ${first} first)
    string(SUBSTRING ${lib} 1 -1 rest)
    set(testname Exports.${first}${rest}DllExportsWhatKutImports)
  endif()
  add_test(NAME ${testname}
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:${lib}>
            -DLIST=${list} -P ${dir}/check_exports.cmake)
endforeach()

# The language choice under the wine locales en_US and de_DE: wine-run.sh
# hands KUT_WINE_LC_ALL to wine as LC_ALL (the discovered tests run under
# C.UTF-8, which wine reads as en-US too).
foreach(locale IN ITEMS en_US de_DE)
  add_test(NAME LoaderLanguages.SeveralLanguagesReadAlike.${locale}
    COMMAND ${CMAKE_COMMAND} -E env KUT_WINE_LC_ALL=${locale}.UTF-8
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:test_windows>
            --gtest_filter=LoaderLanguages.SeveralLanguagesReadAlike)
  set_tests_properties(LoaderLanguages.SeveralLanguagesReadAlike.${locale} PROPERTIES TIMEOUT 120)
endforeach()
