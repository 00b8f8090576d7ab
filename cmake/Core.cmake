# The core without Qt (HALVERN_CORE_ONLY): what carries the protocol and the files, built for
# Windows with mingw-w64 and tested under Wine (scripts/test-windows). The link, the shared
# state, the simulator and the virtual platform whole; of monitoring, setup, maintenance and
# logging the parts that are functions and exchanges, without their windows; of the history the
# events, without the store (Qt SQL). What needs Qt (the serial port, the windows, printing,
# the store, the workers on QThread, the charts' data) is not built.
set(core ${PROJECT_SOURCE_DIR}/src)

# core_library(NAME DEPS ... SOURCES file...): SOURCES relative to src/.
function(core_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${core}/)
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${core})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE halvern_warnings)
endfunction()

function(core_folder out folder)
  file(GLOB_RECURSE found CONFIGURE_DEPENDS RELATIVE ${core} ${core}/${folder}/*.cpp)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

core_library(halvern_platform SOURCES
             platform/FilePath.cpp platform/FolderChoice.cpp platform/ProgramFile.cpp
             platform/SimulatedSerialPort.cpp platform/System.cpp platform/WholeFile.cpp
             platform/GatewayAddress.cpp
             platform/virtual/VirtualPlatform.cpp)
core_folder(link link)
core_library(halvern_link DEPS halvern_platform SOURCES ${link})
core_folder(state state)
core_library(halvern_state DEPS halvern_link SOURCES ${state})
# The standalone simulator's pseudo-terminal is Unix's.
core_library(halvern_sim DEPS halvern_link halvern_platform SOURCES
             sim/Bus.cpp sim/Console.cpp sim/Detector.cpp sim/FrameSplitter.cpp sim/SimBus.cpp)
core_library(halvern_history DEPS halvern_state SOURCES history/ServiceEvent.cpp)
target_compile_definitions(halvern_history PRIVATE HALVERN_NO_HISTORY_STORE)
core_library(halvern_logging DEPS halvern_state SOURCES
             logging/LogCsv.cpp logging/LogPlot.cpp logging/LogReader.cpp logging/LogRecords.cpp
             logging/LogViewer.cpp logging/LoggingControl.cpp)
core_library(halvern_monitor DEPS halvern_logging halvern_history SOURCES
             monitor/BusScan.cpp monitor/BusTakeover.cpp monitor/Decoder.cpp
             monitor/Exchanges.cpp monitor/MainComm.cpp monitor/PollLoop.cpp
             monitor/ScanComm.cpp monitor/StatusTables.cpp)
core_library(halvern_config DEPS halvern_monitor SOURCES
             config/AddressEntry.cpp config/ConfigExchanges.cpp config/SetupCodec.cpp
             config/SetupHistory.cpp)
core_library(halvern_maintenance DEPS halvern_monitor SOURCES
             maintenance/MaintComm.cpp maintenance/MaintDecoder.cpp maintenance/MaintExchanges.cpp)
core_library(halvern_traffic DEPS halvern_maintenance halvern_config SOURCES traffic/TrafficDescriber.cpp)
# The dialogs as a test answers them; there is nothing to print without Qt.
core_library(halvern_ui DEPS halvern_state SOURCES ui/ScriptedDialogs.cpp)

if(NOT HALVERN_TESTS)
  return()
endif()

# GoogleTest from Debian's sources (googletest), built for the target.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${HALVERN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
enable_testing()

set(tests ${PROJECT_SOURCE_DIR}/tests)
add_library(halvern_test_support OBJECT ${tests}/support/Scratch.cpp
            ${tests}/support/ScriptedNoPrinter.cpp)
target_include_directories(halvern_test_support PUBLIC ${tests})
target_link_libraries(halvern_test_support PUBLIC halvern_monitor halvern_sim halvern_ui gtest
                      PRIVATE halvern_warnings)

# core_test(NAME LIBS ... SOURCES file...): SOURCES relative to tests/; one program, run whole
# (one Wine start for all its tests).
function(core_test name)
  cmake_parse_arguments(ARG "" "" "LIBS;SOURCES" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND ${tests}/)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${core} ${tests})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main halvern_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

core_test(platform_tests LIBS halvern_platform SOURCES platform/FilesTest.cpp)
core_test(link_tests LIBS halvern_link SOURCES link/LinkTest.cpp)
core_test(state_tests LIBS halvern_state SOURCES state/FormatsTest.cpp)
core_test(sim_tests LIBS halvern_sim SOURCES sim/SimulatorTest.cpp)
core_test(logging_tests LIBS halvern_logging halvern_test_support SOURCES
          logging/LogReadersTest.cpp logging/LogRecordsTest.cpp logging/LoggingControlTest.cpp)
core_test(monitor_tests LIBS halvern_monitor halvern_test_support SOURCES
          monitor/BusScanTest.cpp monitor/BusTakeoverTest.cpp monitor/CommandsTest.cpp
          monitor/DecoderTest.cpp monitor/PollingTest.cpp)
core_test(config_tests LIBS halvern_config halvern_maintenance halvern_test_support SOURCES
          config/ConfigExchangesTest.cpp config/SetupCodecTest.cpp)
core_test(traffic_tests LIBS halvern_traffic halvern_test_support SOURCES
          traffic/DescriberTest.cpp)
core_test(scenario_tests LIBS halvern_config halvern_maintenance halvern_traffic
          halvern_test_support SOURCES scenarios/ExchangeTraceTest.cpp scenarios/ScenarioTest.cpp)
target_compile_definitions(scenario_tests PRIVATE
                           HALVERN_TRACE_DIR="${PROJECT_SOURCE_DIR}/tests/scenarios/traces")
