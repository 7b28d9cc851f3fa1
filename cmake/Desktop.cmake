# What makes Lantern part of the desktop: the application entry, the image
# types it opens, its icons in the hicolor theme, the AppStream description
# and the manual pages. Every file carries the one application id.

set(LANTERN_APP_ID "org.lantern_viewer.Lantern")
set(LANTERN_HOMEPAGE "https://lantern-viewer.org" CACHE STRING
    "Home page named in the AppStream description")
set(LANTERN_SCREENSHOT_URL "${LANTERN_HOMEPAGE}/screenshots" CACHE STRING
    "Where the AppStream description finds docs/screenshots/*.png")
set(LANTERN_RELEASE_DATE "2026-12-06")

set(_desk_src "${PROJECT_SOURCE_DIR}/resources/desktop")
set(_man_src "${PROJECT_SOURCE_DIR}/resources/man")
set(LANTERN_DESKTOP_DIR "${CMAKE_BINARY_DIR}/desktop")

configure_file("${_desk_src}/${LANTERN_APP_ID}.metainfo.xml"
    "${LANTERN_DESKTOP_DIR}/${LANTERN_APP_ID}.metainfo.xml" @ONLY)

# The icon at the theme's usual sizes, drawn like Icons/128.png.
set(LANTERN_HICOLOR_SIZES 16 22 24 32 48 64 128 256)
set(_hicolor "${LANTERN_DESKTOP_DIR}/hicolor")
set(_icons)
foreach(size IN LISTS LANTERN_HICOLOR_SIZES)
    list(APPEND _icons "${_hicolor}/${size}x${size}/apps/${LANTERN_APP_ID}.png")
endforeach()
add_custom_command(OUTPUT ${_icons}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:drawart>
            --hicolor "${_hicolor}" "${LANTERN_APP_ID}"
    DEPENDS drawart
    COMMENT "Drawing the program's icons for the desktop")

# Manual pages, compressed as Debian ships them.
set(_man_pages)
foreach(page lantern lantern-cli)
    configure_file("${_man_src}/${page}.1" "${LANTERN_DESKTOP_DIR}/man/${page}.1" @ONLY)
    add_custom_command(OUTPUT "${LANTERN_DESKTOP_DIR}/man/${page}.1.gz"
        COMMAND gzip -9 -n -f -k "${LANTERN_DESKTOP_DIR}/man/${page}.1"
        DEPENDS "${LANTERN_DESKTOP_DIR}/man/${page}.1"
        COMMENT "Compressing the manual page ${page}.1")
    list(APPEND _man_pages "${LANTERN_DESKTOP_DIR}/man/${page}.1.gz")
endforeach()
add_custom_target(lantern_desktop ALL DEPENDS ${_icons} ${_man_pages})

set(_share "${CMAKE_INSTALL_DATAROOTDIR}")
install(FILES "${_desk_src}/${LANTERN_APP_ID}.desktop" DESTINATION "${_share}/applications")
install(FILES "${_desk_src}/${LANTERN_APP_ID}.mime.xml" DESTINATION "${_share}/mime/packages"
    RENAME "${LANTERN_APP_ID}.xml")
install(FILES "${LANTERN_DESKTOP_DIR}/${LANTERN_APP_ID}.metainfo.xml"
    DESTINATION "${_share}/metainfo")
foreach(size IN LISTS LANTERN_HICOLOR_SIZES)
    install(FILES "${_hicolor}/${size}x${size}/apps/${LANTERN_APP_ID}.png"
        DESTINATION "${_share}/icons/hicolor/${size}x${size}/apps")
endforeach()
install(FILES "${_desk_src}/${LANTERN_APP_ID}.svg" DESTINATION "${_share}/icons/hicolor/scalable/apps")
install(FILES ${_man_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# The machine-wide defaults for an installed tree: where the suite's programs
# lie. Installed to /usr, they are the administrator's file under /etc/xdg
# (a configuration file of the package); under any other prefix they stay
# inside it, so a trial install never touches /etc.
install(CODE "
    set(lantern_dir \"\${CMAKE_INSTALL_PREFIX}/${LANTERN_INSTALL_DIR}\")
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
        set(etc_dir \"\$ENV{DESTDIR}/etc/xdg/lantern\")
    else()
        set(etc_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/etc/xdg/lantern\")
    endif()
    file(WRITE \"\${etc_dir}/registry.reg\"
        \"; Machine-wide defaults of Lantern. Each user's own settings in\\n; ~/.config/lantern/registry.reg take precedence.\\n\\n[Software\\\\Vantrel\\\\Ardent8\\\\Lantern]\\n\\\"InstallPath\\\"=sz:\\\"\${lantern_dir}\\\"\\n\")")
