# The Linux installation and its Debian package (cpack -G DEB, or the target package-deb).
#
# `cmake --install` puts the program, its desktop entry, icons, AppStream data, manual page, firewall
# profiles and systemd user unit under the prefix (GNUInstallDirs). The firewall and systemd folders are
# those the tools read under /usr (lib/..., not the multiarch libdir); the ufw profile goes to the
# system configuration folder, /etc for the prefix /usr (as in the package) and <prefix>/etc otherwise,
# decided when installing, since the package installs with its own prefix.
include(GNUInstallDirs)

set(fernpad_linux_dir "${PROJECT_SOURCE_DIR}/packaging/linux")
set(fernpad_generated "${PROJECT_BINARY_DIR}/packaging")

install(TARGETS fernpad-server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES "${fernpad_linux_dir}/fernpad-server.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${fernpad_linux_dir}/fernpad-server.svg"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The PNG sizes are made from the SVG by scripts/render-icons.sh and kept in the repository.
file(GLOB fernpad_icon_pngs RELATIVE "${fernpad_linux_dir}/icons" "${fernpad_linux_dir}/icons/*.png")
foreach(png IN LISTS fernpad_icon_pngs)
  get_filename_component(size "${png}" NAME_WE)
  install(FILES "${fernpad_linux_dir}/icons/${png}"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME fernpad-server.png)
endforeach()

configure_file("${fernpad_linux_dir}/com.ornivo.FernpadServer.metainfo.xml"
               "${fernpad_generated}/com.ornivo.FernpadServer.metainfo.xml" @ONLY)
install(FILES "${fernpad_generated}/com.ornivo.FernpadServer.metainfo.xml" DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog, compressed as Debian wants them (no name or time stamp in the gzip).
configure_file("${fernpad_linux_dir}/fernpad-server.1" "${fernpad_generated}/fernpad-server.1" @ONLY)
configure_file("${fernpad_linux_dir}/changelog.in" "${fernpad_generated}/changelog" @ONLY)
foreach(file fernpad-server.1 changelog)
  execute_process(COMMAND gzip -9 -n -c "${fernpad_generated}/${file}"
                  OUTPUT_FILE "${fernpad_generated}/${file}.gz" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES "${fernpad_generated}/fernpad-server.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${fernpad_generated}/changelog.gz" "${fernpad_linux_dir}/copyright"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fernpad-server)  # the package's name, not the project's

install(FILES "${fernpad_linux_dir}/fernpad-server.firewalld.xml" DESTINATION lib/firewalld/services
        RENAME fernpad-server.xml)
# The unit starts the program from the prefix it is installed to.
install(CODE "
  set(FERNPAD_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${fernpad_linux_dir}/fernpad-server.service\" \"${fernpad_generated}/unit/fernpad-server.service\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\" TYPE FILE
       FILES \"${fernpad_generated}/unit/fernpad-server.service\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(fernpad_etc /etc)
  else()
    set(fernpad_etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
  endif()
  file(INSTALL DESTINATION \"\${fernpad_etc}/ufw/applications.d\" TYPE FILE
       FILES \"${fernpad_linux_dir}/fernpad-server.ufw\" RENAME fernpad-server)
")

set(CPACK_PACKAGE_NAME "fernpad-server")
set(CPACK_PACKAGE_VENDOR "Ornivo")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Ornivo <support@ornivo.example>" CACHE STRING "The package's maintainer")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "use a handheld as this computer's mouse, keyboard and presenter")
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)  # the debug sections stay in the build
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # fernpad-server_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from the libraries the program links (dpkg-shlibdeps)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ufw | firewalld")
if(TARGET fernpad_platform_portal)
  # GNOME and KDE Wayland sessions reach the mouse, keyboard and screen only through the desktop portal.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-desktop-portal")
endif()
# The long description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Fernpad Server lets the Fernpad app on a handheld on the same network act as
this computer's mouse and keyboard, control presentations with a laser dot,
and receive photos into a folder of the user's choice. Each new handheld is let
in only after a security question is answered on this computer.
.
The package brings firewall profiles for ufw and firewalld and a systemd user
unit that runs the server without windows in the graphical session. It works
in X11 sessions and in Wayland sessions of GNOME, KDE Plasma and wlroots
compositors such as sway.")
# Files under /etc are the administrator's to change: dpkg keeps their changes on upgrades.
file(WRITE "${fernpad_generated}/conffiles" "/etc/ufw/applications.d/fernpad-server\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${fernpad_generated}/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

add_custom_target(package-deb
  COMMAND "${CMAKE_CPACK_COMMAND}" -G DEB --config "${PROJECT_BINARY_DIR}/CPackConfig.cmake"
  WORKING_DIRECTORY "${PROJECT_BINARY_DIR}"
  COMMENT "Making the Debian package"
  VERBATIM)
add_dependencies(package-deb fernpad-server)
