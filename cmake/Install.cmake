# Installation: the programs side by side in bin/ (each finds the others
# beside itself), their data in share/vorn95/ (found as ../share/vorn95 from
# bin/), their modules in lib/vorn95/, and what a desktop needs to offer the
# wizard in its menu.
include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(VORN_APP_ID org.vorn95.Wizard)
set(VORN_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS vorn95 vorn-dialupd initvorn vorn-rasdial vorn-reg vorn-history RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/rasphone.pbk DESTINATION ${CMAKE_INSTALL_DATADIR}/vorn95)
# The modules, loaded only when needed, looked for as ../lib/vorn95 from bin/:
# the program's own folder under lib, not the multiarch library folder, so
# that the installation can be moved and a build tree looks the same.
install(TARGETS vorn-nm vorn-sound vorn-chart LIBRARY DESTINATION lib/vorn95 PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(FILES ${VORN_PACKAGING_DIR}/${VORN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VORN_PACKAGING_DIR}/${VORN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${VORN_PACKAGING_DIR}/icons/${size}/vorn95.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES resources/art/program.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME vorn95.svg)

# Manual pages and the change log are installed compressed, as Debian wants
# them (-n: no time stamp, so that builds are reproducible).
set(vorn_compressed_docs)
function(vorn_compress source name)
    set(copy ${CMAKE_BINARY_DIR}/docs/${name})
    add_custom_command(OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source} VERBATIM)
    set(vorn_compressed_docs ${vorn_compressed_docs} ${copy}.gz PARENT_SCOPE)
endfunction()

foreach(page vorn95 vorn-dialupd initvorn vorn-rasdial vorn-reg vorn-history)
    vorn_compress(${VORN_PACKAGING_DIR}/man/${page}.1 ${page}.1)
    install(FILES ${CMAKE_BINARY_DIR}/docs/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
vorn_compress(${VORN_PACKAGING_DIR}/debian/changelog changelog)
add_custom_target(vorn_docs ALL DEPENDS ${vorn_compressed_docs})

install(FILES ${CMAKE_BINARY_DIR}/docs/changelog.gz ${VORN_PACKAGING_DIR}/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
