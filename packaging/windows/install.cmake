# What `cmake --install` puts in the program's folder on Windows: the program,
# its icon, the Qt libraries and plugins it loads and the MinGW runtime, laid
# out as Qt looks for them beside the program. The portable zip is this
# folder; the installer copies it and adds its uninstaller.
install(TARGETS velkor velkor_console RUNTIME DESTINATION .)
install(FILES ${VELKOR_ICON} DESTINATION .)

foreach(library Core Gui Widgets Network Sql)
    install(FILES $<TARGET_FILE:Qt6::${library}> DESTINATION .)
endforeach()
# The window's platform, the one of --headless, the SQLite driver, the native
# style and the .ico reader for the window icon.
foreach(plugin IN ITEMS QWindowsIntegrationPlugin QOffscreenIntegrationPlugin
                        QSQLiteDriverPlugin QWindowsVistaStylePlugin QICOPlugin)
    get_target_property(plugin_type Qt6::${plugin} QT_PLUGIN_TYPE)
    install(FILES $<TARGET_FILE:Qt6::${plugin}> DESTINATION ${plugin_type})
endforeach()

# The -posix compilers' runtime: the C++ library, its exception support and
# the threads that std::jthread and std::mutex run on.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                    OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "The compiler does not know where ${runtime} is")
    endif()
    install(FILES ${runtime_path} DESTINATION .)
endforeach()
