# Install rules and packages.
#   Linux:   the program with its manual page and bash completion, the
#            library, its headers and the CMake package
#            `brixlib` (find_package(brixlib) -> brix::brixlib), as .tar.gz and .deb.
#   Windows: brixel.exe and the README, as .zip.
# scripts/package.sh builds them all.
include(CMakePackageConfigHelpers)

set(BRIX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/brixlib)

if(WIN32)
    # One folder a level designer unpacks and runs from.
    install(TARGETS brixel RUNTIME DESTINATION . COMPONENT program)
    install(FILES README.md DESTINATION . COMPONENT program)
else()
    install(TARGETS brixel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
    install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)
    install(FILES doc/brixel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
    install(FILES doc/brixel.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME brixel COMPONENT program)
    install(TARGETS brixlib EXPORT brixlibTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
    install(EXPORT brixlibTargets NAMESPACE brix:: DESTINATION ${BRIX_CMAKE_PACKAGE_DIR} COMPONENT development)
    configure_package_config_file(cmake/brixlibConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/brixlibConfig.cmake
        INSTALL_DESTINATION ${BRIX_CMAKE_PACKAGE_DIR})
    write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/brixlibConfigVersion.cmake
        VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/brixlibConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/brixlibConfigVersion.cmake
        DESTINATION ${BRIX_CMAKE_PACKAGE_DIR} COMPONENT development)
endif()

set(CPACK_PACKAGE_NAME brixel)
set(CPACK_PACKAGE_VENDOR "brixel")
set(CPACK_PACKAGE_CONTACT "brixel maintainers <brixel@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Merges and filters level-map source files (.map)")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/brixel-tools/brixel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win64)
else()
    set(CPACK_GENERATOR TGZ DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # The package's dependencies from the libraries the program links.
    find_program(BRIX_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(BRIX_DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    else()
        set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
    endif()
endif()
include(CPack)
