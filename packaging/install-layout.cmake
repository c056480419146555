# Run by `cmake --install` after the files: the links of the layout and the parameter file.
# The variables come from the install(CODE) just before this script.

function(fbwarm_link target link)
  set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${link}")
  get_filename_component(dir "${path}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  message(STATUS "Installing: ${path} -> ${target}")
  file(CREATE_LINK "${target}" "${path}" SYMBOLIC)
endfunction()

fbwarm_link("../${FBWARM_PROGRAM_DIR}/fbwarm" "${FBWARM_BINDIR}/fbwarm")
fbwarm_link("../${FBWARM_PROGRAM_DIR}/fbwarm-check" "${FBWARM_BINDIR}/fbwarm-check")
fbwarm_link("${FBWARM_CONF_DIR}/fbwarm.INI" "${FBWARM_PROGRAM_DIR}/fbwarm.INI")
fbwarm_link("fbwarm.1.gz" "${FBWARM_MANDIR}/man1/fbwarm-check.1.gz")

# Readable by root only, since it is where the password goes. An existing file is the
# administrator's and stays as it is.
set(ini "$ENV{DESTDIR}${FBWARM_CONF_DIR}/fbwarm.INI")
if(EXISTS "${ini}")
  message(STATUS "Up-to-date: ${ini} (kept; the example is ${FBWARM_EXAMPLE_INI})")
else()
  # file(INSTALL) puts DESTDIR in front by itself.
  file(INSTALL "${FBWARM_EXAMPLE_INI}" DESTINATION "${FBWARM_CONF_DIR}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
endif()
