# Build helpers shared by every module.

if(WIN32)
  # Windows binaries carry libgcc, libstdc++ and winpthreads inside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  set(CMAKE_SHARED_LIBRARY_PREFIX "")
  set(CMAKE_SHARED_MODULE_PREFIX "")
  if(CMAKE_CROSSCOMPILING)
    # Windows test programs run under Wine, in a prefix private to this build tree.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run ${CMAKE_BINARY_DIR})
  endif()
endif()

add_compile_options(-Wall -Wextra)

if(CORVANTA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(CORVANTA_FUZZ)
  # Coverage feedback from all of our code, not just the fuzz targets.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
if(CORVANTA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# GoogleTest is built from Debian's sources so the same suites build natively
# and with MinGW.
macro(corvanta_add_googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    message(FATAL_ERROR "GoogleTest sources not found in /usr/src/googletest: run scripts/bootstrap")
  endif()
endmacro()

# corvanta_library(NAME [DEF file.def] [ORDINAL_IMPORTS] [OUTPUT_NAME file]
#                   [OUTPUT_DIRECTORY dir] SOURCES ... [LIBS ...])
# A shared library (every deliverable, plug-in and test stand-in DLL):
# lib<NAME>.so natively, <NAME>.dll on Windows with exactly the exports of its
# .def file (natively, of its .map file), checked by a test.
# ORDINAL_IMPORTS: programs and libraries that link it import by ordinal.
# OUTPUT_NAME / OUTPUT_DIRECTORY: another file name (a stand-in under a real
# library's name) in a folder of its own; its import library stays beside it
# in the build tree, apart from the real one's.
function(corvanta_library name)
  cmake_parse_arguments(L "ORDINAL_IMPORTS" "DEF;OUTPUT_NAME;OUTPUT_DIRECTORY" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${L_SOURCES})
  target_link_libraries(${name} PRIVATE ${L_LIBS})
  if(L_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${L_OUTPUT_NAME}
                          ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name})
  endif()
  if(L_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${L_OUTPUT_DIRECTORY}
                          LIBRARY_OUTPUT_DIRECTORY ${L_OUTPUT_DIRECTORY})
  endif()
  # Natively a version script <name>.map beside the sources keeps everything
  # but the exports local.
  set(map ${CMAKE_CURRENT_SOURCE_DIR}/${name}.map)
  if(NOT WIN32 AND EXISTS ${map})
    target_link_options(${name} PRIVATE -Wl,--version-script=${map})
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
  if(WIN32 AND L_DEF)
    target_sources(${name} PRIVATE ${L_DEF})
    target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
    if(L_ORDINAL_IMPORTS)
      # Importers bind the exports by ordinal: the import library is made again
      # from the .def file with every numbered export marked NONAME (the DLL
      # itself keeps its names).
      set(def_path ${CMAKE_CURRENT_SOURCE_DIR}/${L_DEF})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_path})
      file(READ ${def_path} def_text)
      string(REGEX REPLACE "(@[ \t]*[0-9]+)" "\\1 NONAME" def_text "${def_text}")
      set(ordinal_def ${CMAKE_CURRENT_BINARY_DIR}/${name}_by_ordinal.def)
      file(WRITE ${ordinal_def} "${def_text}")
      add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_DLLTOOL} -d ${ordinal_def} -D $<TARGET_FILE_NAME:${name}> -l $<TARGET_LINKER_FILE:${name}>
        VERBATIM)
    endif()
    if(CORVANTA_TESTS)
      # The export table holds exactly the .def file's names and ordinals.
      add_test(NAME ${name}_exports
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-exports ${CMAKE_OBJDUMP} $<TARGET_FILE:${name}>
                ${CMAKE_CURRENT_SOURCE_DIR}/${L_DEF})
    endif()
  endif()
endfunction()

# corvanta_test(NAME SOURCES ... [LIBS ...] [LABELS ...] [GUI] [TIMEOUT s]
#               [OUTPUT_DIRECTORY dir] [DEPENDS target...])
# A GoogleTest program registered with ctest: every test suite is declared
# through it. Windows builds run it under Wine; GUI tests are labelled "gui"
# and need the display the Wine session provides. DEPENDS: targets to build
# first (the libraries it loads at run time).
function(corvanta_test name)
  if(NOT CORVANTA_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "GUI" "TIMEOUT;OUTPUT_DIRECTORY" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gmock gtest_main)
  if(T_OUTPUT_DIRECTORY)
    # A folder of its own, with the libraries it loads beside it.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_OUTPUT_DIRECTORY})
  endif()
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set(labels ${T_LABELS})
  if(T_GUI)
    list(APPEND labels gui)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env "CORVANTA_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "CORVANTA_BINARY_DIR=${CMAKE_BINARY_DIR}")
  if(NOT WIN32)
    # Native tests keep their application data inside the build tree.
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/appdata)
    list(APPEND env "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/appdata")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
endfunction()

# Adds every direct subfolder of DIR that has a CMakeLists.txt (bench/, fuzz/).
function(corvanta_add_subdirectories dir)
  file(GLOB entries LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/${dir}/*)
  foreach(entry ${entries})
    if(IS_DIRECTORY ${entry} AND EXISTS ${entry}/CMakeLists.txt)
      add_subdirectory(${entry})
    endif()
  endforeach()
endfunction()

# corvanta_fuzzer(NAME SOURCES ... [LIBS ...]): a libFuzzer target (fuzz preset).
function(corvanta_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_SOURCE_DIR}/streamutil/pipe)
endfunction()

# corvanta_benchmark(NAME SOURCES ... [LIBS ...]): a Google Benchmark program
# (release preset), run by `make bench`.
function(corvanta_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
endfunction()
