# Install layout and the Debian package. Installed, the programs sit in bin/ and
# find everything they load at run time in share/brisel/ (CGlobal::getDataPath);
# the model and the service's certificates are made per user on first start, so
# the package carries no secrets and its installation downloads nothing.
include(GNUInstallDirs)
set(BRISEL_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/brisel)

install(TARGETS brisel brisel-cutout RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET brisel-matting-service)
  install(TARGETS brisel-matting-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY ${BRISEL_BIN_DIR}/language DESTINATION ${BRISEL_SHARE_DIR})
install(FILES ${BRISEL_BIN_DIR}/h_face.xml ${BRISEL_BIN_DIR}/h_eye.xml DESTINATION ${BRISEL_SHARE_DIR}
        OPTIONAL)
install(PROGRAMS tools/make-certs.sh tools/fetch-model.sh tools/convert_model.py
        DESTINATION ${BRISEL_SHARE_DIR}/tools)

# Desktop integration: the launcher entry, the icon in the sizes menus and software
# centres ask for, and the AppStream description.
set(BRISEL_APP_ID io.github.brisel.Brisel)
install(FILES resources/desktop/brisel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/${BRISEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/art/logo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME brisel.svg)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_files)
foreach(size 48 128 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}/brisel.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${PROJECT_SOURCE_DIR}/resources/art/logo.svg
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/art/logo.svg VERBATIM)
  list(APPEND icon_files ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(brisel_icons ALL DEPENDS ${icon_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brisel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Brisel")
set(CPACK_PACKAGE_CONTACT "Brisel developers <brisel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Remove photo backgrounds on this computer")
set(CPACK_PACKAGE_DESCRIPTION
    "Brisel cuts the subject out of portraits, product and ID photos through its own local matting service, then changes the background, crops and saves. brisel-cutout does the same from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Libraries come from dpkg-shlibdeps; these are the programs first start runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openssl, curl, ca-certificates")
# Converting the downloaded model needs these; without them the program names the
# package to install and keeps serving with the flat-background engine.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-torch, python3-onnx, python3-numpy, python3-opencv")
include(CPack)
