# The suite as Windows programs, run under Wine through the cross-compiling
# emulator (scripts/windows/wine-run). Tests that need Linux itself, such as
# a simulated supply on a pseudo-terminal, are listed below with why; CTest
# reports them as not run (Disabled), so none is skipped silently.

# Helpers that start the simulated supply on a pseudo-terminal stay out.
file(GLOB VELKOR_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/support/*.h)
list(FILTER VELKOR_TEST_SUPPORT EXCLUDE REGEX "/(live_window|pty_supply)\\.(cpp|h)$|_posix\\.cpp$")
add_library(velkor_test_support STATIC ${VELKOR_TEST_SUPPORT})
target_include_directories(velkor_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(velkor_test_support PUBLIC velkor_core Qt6::Test)

set(VELKOR_LINUX_ONLY_TESTS
    # The program against the simulated supply on pseudo-terminals; under
    # Wine that is scripts/test-windows.sh's installed-program test.
    test_disk_end_to_end test_faults_end_to_end test_link_end_to_end
    test_record_end_to_end test_sequence_end_to_end test_shutdown_end_to_end
    # Qt SerialPort on pseudo-terminals, which the Windows build does not use.
    test_qt_serial_port
    # The simulated supply is a Linux program.
    test_supply_sim
    # Linux install layouts and folders (/usr/bin, /proc) and the Linux
    # program's own name; the Windows layout is test_install_layout_windows.
    test_program_files test_command_line
    # A day against the simulated supply, and file systems that Linux mounts
    # and flags (a full disk, an immutable entry).
    test_day_run test_disk_faults)

file(GLOB_RECURSE VELKOR_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*/test_*.cpp)
foreach(test_source IN LISTS VELKOR_TESTS)
    get_filename_component(test_name ${test_source} NAME_WE)
    # A test whose name ends in _posix tries a POSIX call itself.
    if(test_name IN_LIST VELKOR_LINUX_ONLY_TESTS OR test_name MATCHES "_posix$")
        add_test(NAME ${test_name} COMMAND ${CMAKE_COMMAND} -E true)
        set_tests_properties(${test_name} PROPERTIES DISABLED TRUE LABELS linux-only)
        continue()
    endif()
    add_executable(${test_name} ${test_source})
    target_link_libraries(${test_name} PRIVATE velkor_test_support)
    add_test(NAME ${test_name} COMMAND ${test_name})
    set_tests_properties(${test_name} PROPERTIES TIMEOUT 300)
endforeach()
foreach(script test_scpi_pyvisa test_ports_end_to_end test_run_records_end_to_end)
    add_test(NAME ${script} COMMAND ${CMAKE_COMMAND} -E true)
    set_tests_properties(${script} PROPERTIES DISABLED TRUE LABELS linux-only)
endforeach()

target_compile_definitions(test_startup PRIVATE VELKOR_ICON_FILE="${VELKOR_ICON}")
add_dependencies(test_startup velkor_icon)
