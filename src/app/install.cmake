# Installation and desktop integration: the program, its menu entry, its icon drawn by
# zelk_make_icon at build time (also built into the program as its window icon) and
# its manual page.
include(GNUInstallDirs)

set(ZELK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(ZELK_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(ZELK_ICON_SIZES 16 32 48 64 128 256)

add_executable(zelk_make_icon ${ZELK_PACKAGING_DIR}/make_icon.cpp)
target_link_libraries(zelk_make_icon PRIVATE Qt6::Gui zelk_warnings)

set(ZELK_ICON_FILES ${ZELK_ICON_DIR}/zelkzoomer.svg)
foreach(size IN LISTS ZELK_ICON_SIZES)
  list(APPEND ZELK_ICON_FILES ${ZELK_ICON_DIR}/${size}x${size}/zelkzoomer.png)
endforeach()
add_custom_command(
  OUTPUT ${ZELK_ICON_FILES}
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:zelk_make_icon> ${ZELK_ICON_DIR}
  DEPENDS zelk_make_icon
  COMMENT "Drawing the application icon"
  VERBATIM)
add_custom_target(zelk_icons ALL DEPENDS ${ZELK_ICON_FILES})

# The window icon, from the 128-pixel drawing: X refuses a 256-pixel icon property
# larger than its request limit, and the window would show none.
set_source_files_properties(${ZELK_ICON_DIR}/128x128/zelkzoomer.png PROPERTIES
  GENERATED TRUE QT_RESOURCE_ALIAS zelkzoomer.png)
qt_add_resources(zelkzoomer zelk_window_icon
  PREFIX "/"
  FILES ${ZELK_ICON_DIR}/128x128/zelkzoomer.png)
add_dependencies(zelkzoomer zelk_icons)

install(TARGETS zelkzoomer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZELK_PACKAGING_DIR}/zelkzoomer.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size IN LISTS ZELK_ICON_SIZES)
  install(FILES ${ZELK_ICON_DIR}/${size}x${size}/zelkzoomer.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${ZELK_ICON_DIR}/zelkzoomer.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZELK_PACKAGING_DIR}/zelkzoomer.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
