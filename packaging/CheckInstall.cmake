# Installs the build into a staging folder and checks that every file lands
# where a Linux desktop looks for it.
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected
    ${BINDIR}/tellwave
    ${BINDIR}/tellwave-gateway
    ${DATADIR}/applications/${APP_ID}.desktop
    ${DATADIR}/metainfo/${APP_ID}.metainfo.xml
    ${DATADIR}/tellwave/Tellwave.html
    ${MANDIR}/man1/tellwave.1
    ${MANDIR}/man1/tellwave-gateway.1
    ${DATADIR}/icons/hicolor/scalable/apps/tellwave.svg)
foreach(size 16 22 24 32 48 64 128 256 512)
    list(APPEND expected ${DATADIR}/icons/hicolor/${size}x${size}/apps/tellwave.png)
endforeach()
set(missing "")
foreach(file IN LISTS expected)
    if(NOT EXISTS ${STAGE}/${file})
        list(APPEND missing ${file})
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "not installed: ${missing}")
endif()
# The page installed is the program's help, not a placeholder.
file(READ ${STAGE}/${DATADIR}/tellwave/Tellwave.html page)
if(NOT page MATCHES "Program Setup")
    message(FATAL_ERROR "the installed help page is not the program's help")
endif()
message(STATUS "installed: ${expected}")
