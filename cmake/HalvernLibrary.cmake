# halvern_library(NAME DEPS ... [WINDOWS stem... WINDOW_DEPS ...]): one static library per
# source folder, from every .cpp/.h in it (subfolders included), so adding a file needs no edit
# here. It needs Qt Core at most, so that halvern-cli runs without widgets or a display; the
# files of the windows named by their stems (frmMain for frmMain.cpp and frmMain.h) go into
# NAME_windows, which adds the widgets.
function(halvern_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;WINDOWS;WINDOW_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(windows)
  foreach(stem ${ARG_WINDOWS})
    list(APPEND windows ${CMAKE_CURRENT_SOURCE_DIR}/${stem}.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${stem}.h)
  endforeach()
  if(windows)
    list(REMOVE_ITEM srcs ${windows})
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE halvern_warnings)
  if(windows)
    add_library(${name}_windows STATIC ${windows})
    target_link_libraries(${name}_windows PUBLIC ${name} ${ARG_WINDOW_DEPS} Qt6::Widgets
                          PRIVATE halvern_warnings)
  endif()
endfunction()

# halvern_test(NAME folder LIBS ... [LOCK resource]): one GoogleTest executable per test folder.
# LOCK keeps the folder's tests from running at the same time as each other (real devices and
# timers that a parallel neighbour's load can starve).
function(halvern_test name)
  cmake_parse_arguments(ARG "" "LOCK" "LIBS" ${ARGN})
  set(lock "")
  if(ARG_LOCK)
    set(lock RESOURCE_LOCK ${ARG_LOCK})
  endif()
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_executable(${name} ${srcs})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main halvern_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # The windows are tried on the smallest screen a technician's laptop has, 1024x600.
  set(screen "offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/support/small-screen.json")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=${screen}" TIMEOUT 60 ${lock})
endfunction()
