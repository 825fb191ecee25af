# The version resource of a Windows program: made from PROJECT_VERSION, always four numbers (0.1.0 is
# 0.1.0.0), the same number the updater reports as the installed version.
enable_language(RC)

function(fernpad_add_version_resource target)
  list(JOIN FERNPAD_VERSION_NUMBERS "," numbers)
  list(JOIN FERNPAD_VERSION_NUMBERS "." dotted)
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc")
  file(CONFIGURE OUTPUT "${rc}" CONTENT [[
#include <winver.h>

VS_VERSION_INFO VERSIONINFO
FILEVERSION @numbers@
PRODUCTVERSION @numbers@
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Ornivo"
      VALUE "FileDescription", "Fernpad Server"
      VALUE "FileVersion", "@dotted@"
      VALUE "InternalName", "@target@"
      VALUE "OriginalFilename", "@target@.exe"
      VALUE "ProductName", "Fernpad Server"
      VALUE "ProductVersion", "@dotted@"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
]] @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  # What a test of the resource expects to read back.
  set_property(TARGET ${target} PROPERTY FERNPAD_FILE_VERSION "${dotted}")
endfunction()
