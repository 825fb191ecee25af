# The Windows packages, made by CPack from the Windows build: the installer
# (cpack -G NSIS: fernpad-server-<version>-setup.exe) and the portable zip (cpack -G ZIP:
# fernpad-server-<version>-portable.zip, the program in a folder of its own).
#
# The installer is CPack's stock NSIS installer, built as a 64-bit program. Started by an administrator
# it asks for elevation and installs for all users (Program Files, the all-users Start menu); started by
# a standard account it asks for nothing and installs for that user alone (into the user's documents). It
# does not offer to start the program when done: the program would inherit the installer's administrator
# rights, which a network server must not have. The program folder holds the program file only, so
# "option.dat" lands next to it wherever the folder is writable (the portable case).
# The firewall lets the handheld in on TCP 12769 (commands), UDP 12770 (discovery and datagram
# commands), TCP 12772 (uploads) and TCP 12773 (the browser remote, while it is on), for this program
# file alone. The rules need administrator rights,
# so they are made only in an all-users install, and a failing netsh (no firewall service) leaves the
# install going. The uninstaller removes the rules and the uninstalling user's autostart value
# "FernpadServer" in the Run key.

install(TARGETS fernpad-server RUNTIME DESTINATION .)

set(CPACK_PACKAGE_NAME "fernpad-server")
set(CPACK_PACKAGE_VENDOR "Ornivo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fernpad Server: the handheld as the PC's mouse, keyboard and presenter")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Fernpad Server")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "FernpadServer")
set(CPACK_PACKAGE_EXECUTABLES "fernpad-server;Fernpad Server")
# The values below reach the NSIS script as written here (one backslash is one backslash).
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)  # the debug sections stay in the build
set(CPACK_GENERATOR "NSIS;ZIP")
# The file names differ per generator (cmake/WindowsPackageNames.cmake).
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/WindowsPackageNames.cmake")

set(CPACK_NSIS_PACKAGE_NAME "Fernpad Server")
# A 64-bit installer for the 64-bit program (NSIS makes 32-bit ones unless told; wine64 runs 64-bit only).
# "highest" after the template's "admin": only an administrator is asked for elevation, so a standard account
# can install for itself.
set(CPACK_NSIS_DEFINES "Target amd64-unicode\nRequestExecutionLevel highest")
set(CPACK_NSIS_DISPLAY_NAME "Fernpad Server ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_NSIS_INSTALLED_ICON_NAME "fernpad-server.exe")

set(fernpad_firewall "\"$SYSDIR\\netsh.exe\" advfirewall firewall")
set(fernpad_rule "name=\"Fernpad Server\"")
set(fernpad_program "program=\"$INSTDIR\\fernpad-server.exe\"")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  StrCmp $SV_ALLUSERS \"AllUsers\" 0 fernpad_firewall_done
    nsExec::Exec '${fernpad_firewall} delete rule ${fernpad_rule}'
    Pop $0
    nsExec::Exec '${fernpad_firewall} add rule ${fernpad_rule} dir=in action=allow protocol=TCP localport=12769,12772,12773 ${fernpad_program}'
    Pop $0
    DetailPrint \"Firewall rule for TCP 12769, 12772 and 12773: $0\"
    nsExec::Exec '${fernpad_firewall} add rule ${fernpad_rule} dir=in action=allow protocol=UDP localport=12770 ${fernpad_program}'
    Pop $0
    DetailPrint \"Firewall rule for UDP 12770: $0\"
  fernpad_firewall_done:
")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  nsExec::Exec '${fernpad_firewall} delete rule ${fernpad_rule}'
  Pop $0
  DeleteRegValue HKCU \"Software\\Microsoft\\Windows\\CurrentVersion\\Run\" \"FernpadServer\"
")

include(CPack)
