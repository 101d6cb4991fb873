# cmake --install and cpack -G DEB: both programs in bin/, their data in share/tarnwell/, a
# desktop entry, an icon and the manual pages where a Linux desktop looks for them.
include(GNUInstallDirs)

# The installed program finds its data from its own folder, whatever the prefix: bin/ and
# share/tarnwell/ keep their places relative to each other (app/startup.h, data_folder).
file(RELATIVE_PATH data_from_bin ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/tarnwell)
set_property(SOURCE app/startup.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS TARNWELL_DATA_FROM_BIN="${data_from_bin}")

set(data_dir ${CMAKE_INSTALL_DATADIR}/tarnwell)
install(TARGETS tarnwell-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/config.ini DESTINATION ${data_dir})
install(FILES ${scene_files} DESTINATION ${data_dir}/scenes)

# Manual pages and the changelog go compressed, as Debian's tools expect; -n keeps the
# package's bytes the same from build to build.
set(gzipped)
foreach(f man/tarnwell-sim.1 man/tarnwell.6 package/changelog)
    get_filename_component(name ${f} NAME)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
        COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/data/${f} > ${out}
        DEPENDS data/${f})
    list(APPEND gzipped ${out})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${gzipped})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gz/tarnwell-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tarnwell)
install(FILES data/package/copyright DESTINATION ${doc_dir})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gz/changelog.gz DESTINATION ${doc_dir})

if(TARGET tarnwell)
    install(TARGETS tarnwell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES data/vs.glsl data/fs.glsl DESTINATION ${data_dir})
    install(FILES data/tarnwell.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES data/tarnwell.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/gz/tarnwell.6.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
endif()

# The version is the one the programs print (program_title in app/startup.h).
file(STRINGS app/startup.h title_line REGEX "program_title = ")
string(REGEX REPLACE ".* v ([0-9][^\"]*)\".*" "\\1" tarnwell_version "${title_line}")
set(TARNWELL_PACKAGE_MAINTAINER "Tarnwell developers <tarnwell@example.org>" CACHE STRING
    "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME tarnwell)
set(CPACK_PACKAGE_VERSION ${tarnwell_version})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive 2D fluid toy")
# One string: set() would join several with ";". Lines under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "About 10,000 SPH particles fall, splash and settle in a square \
box,\na few convex bodies float in the fluid, and the mouse stirs it.\ntarnwell-sim runs \
the same simulation without a window.")
set(CPACK_PACKAGE_CONTACT ${TARNWELL_PACKAGE_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tarnwell_<version>_<arch>.deb
# Not "games": Debian keeps that section for programs in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# GLX needs a driver of Mesa's to draw anything; the library dependencies do not name one.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
