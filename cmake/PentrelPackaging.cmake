# Packages: a ZIP install kit for Windows (cpack -G ZIP), a tarball elsewhere.
set(CPACK_PACKAGE_NAME "Pentrel")
set(CPACK_PACKAGE_VENDOR "Pentrel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_STRIP_FILES TRUE)
  # The operators' kit: no header or import library for building against kivlink.
  get_cmake_property(pentrel_components COMPONENTS)
  list(REMOVE_ITEM pentrel_components Development)
  set(CPACK_COMPONENTS_ALL ${pentrel_components})
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)

  # The IIS install kit, unpacked as C:\Pentrel (docs/INSTALL-IIS.md). The binaries come with their
  # own install rules (bin), the sample site with site/'s (share/pentrel/site). Added here: the status
  # program again in a folder of its own for the CGI virtual directory, so that the site does not
  # expose the filter's folder, a pentrel.reg for that layout, and the install guide.
  set(PENTREL_KIT_ROOT "C:\\Pentrel")
  if(TARGET pt_notfy)
    install(TARGETS pt_notfy RUNTIME DESTINATION cgi-bin)
  endif()
  set(kit_template "${PENTREL_KIT_ROOT}\\share\\pentrel\\site\\pt_wrap.htm")
  string(REPLACE "\\" "\\\\" kit_template_escaped "${kit_template}")
  # CR LF lines, as regedit writes them; ASCII text imports with reg import and regedit alike.
  file(WRITE ${CMAKE_BINARY_DIR}/kit/pentrel.reg
       "Windows Registry Editor Version 5.00\r\n"
       "\r\n"
       "; Pentrel: where the filter finds its wrapper template. Import with: reg import pentrel.reg\r\n"
       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0]\r\n"
       "\"Wrapper File\"=\"${kit_template_escaped}\"\r\n")
  install(FILES ${CMAKE_BINARY_DIR}/kit/pentrel.reg DESTINATION .)
  if(EXISTS ${PROJECT_SOURCE_DIR}/docs/INSTALL-IIS.md)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/INSTALL-IIS.md DESTINATION .)
  endif()
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/site/pt_wrap.htm)
    message(STATUS "Packaging: site/pt_wrap.htm not there; the kit has no sample template")
  endif()
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
