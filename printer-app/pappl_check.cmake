# Whether the PAPPL found fits the printer application's overrides.
#
# The application takes the place of some of PAPPL's functions, internal
# ones among them (_papplJobProcess, _papplJobProcessRaster,
# _papplMainloopGetServerPath), and of library functions that PAPPL calls
# (library_override.h). Each override was written against PAPPL 1.3: who
# calls it, with which locks held, and what PAPPL's own definition does.
# Another PAPPL may hide or rename such a function or stop calling it, and
# an override that is never called fails silently: a printer's jobs could
# share its device again, or PAPPL alone decide who administers.
#
# A PAPPL that does not fit stops the configuration instead of leaving the
# application out, for the packager's sake: the vexao-printer-app package
# is built from this build, and an application left out would surface only
# as a missing file at dh_install, far from the reason, or as a package
# without it. The stop names the reason and the two ways on:
# VEXAO_WITH_PRINTER_APP=OFF builds everything else, and
# VEXAO_FORCE_PRINTER_APP=ON builds the application all the same, for
# whoever has checked the overrides against that PAPPL (the test
# printer_app.overrides shows which ones it still calls).

# The names of the overrides: each definition in this folder's sources that
# is marked VEXAO_OVERRIDES_LIBRARY, whose line carries the function's name.
function(vexao_overridden_names out)
  file(GLOB sources ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  set(names)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} definitions REGEX "^VEXAO_OVERRIDES_LIBRARY ")
    foreach(definition IN LISTS definitions)
      if(NOT definition MATCHES "([A-Za-z_][A-Za-z0-9_]*)\\(")
        message(FATAL_ERROR "${source}: no function name on the line \"${definition}\"")
      endif()
      list(APPEND names ${CMAKE_MATCH_1})
    endforeach()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# Sets `out` to what keeps `library` from fitting, an empty list when it fits.
function(vexao_pappl_misfits library out)
  set(misfits)
  # Debian 12's PAPPL headers carry no version; its pkg-config file, beside
  # the library for each architecture, does.
  get_filename_component(folder ${library} DIRECTORY)
  set(module ${folder}/pkgconfig/pappl.pc)
  set(version)
  if(EXISTS ${module})
    file(STRINGS ${module} version REGEX "^Version:")
    string(REGEX REPLACE "^Version:[ \t]*" "" version "${version}")
  endif()
  if(NOT version)
    list(APPEND misfits "its version is unknown, for there is no ${module}")
  elseif(NOT version MATCHES "^1\\.3(\\.|$)")
    list(APPEND misfits "it is PAPPL ${version}, not 1.3")
  endif()

  # The dynamic linker binds only what the library reaches through its
  # relocations: a call through the PLT or an address taken from the GOT.
  # A function PAPPL calls within itself without one, or no longer calls,
  # would never reach the executable's definition.
  vexao_overridden_names(names)
  set(readelf ${CMAKE_READELF})
  if(NOT readelf)
    find_program(VEXAO_READELF readelf)
    set(readelf ${VEXAO_READELF})
  endif()
  set(relocations)
  if(readelf)
    execute_process(COMMAND ${readelf} --relocs --wide ${library} OUTPUT_VARIABLE relocations ERROR_QUIET)
  endif()
  if(NOT relocations)
    list(APPEND misfits "its relocations cannot be read (readelf: '${readelf}')")
  else()
    set(unreached)
    foreach(name IN LISTS names)
      if(NOT relocations MATCHES "[ \t]${name}(@[^ \t\n]*)?[ \t]")
        list(APPEND unreached ${name})
      endif()
    endforeach()
    if(unreached)
      list(JOIN unreached ", " unreached)
      list(APPEND misfits "it does not call ${unreached} through the dynamic linker, so the application's definition would never be called")
    endif()
  endif()
  list(LENGTH names count)
  set(VEXAO_OVERRIDE_COUNT ${count} PARENT_SCOPE)
  set(VEXAO_PAPPL_VERSION "${version}" PARENT_SCOPE)
  set(${out} ${misfits} PARENT_SCOPE)
endfunction()

vexao_pappl_misfits(${PAPPL_LIBRARY} misfits)
if(misfits)
  list(JOIN misfits "\n  " misfits)
  set(problem "The printer application overrides functions of PAPPL 1.3 and the libraries it calls \
(${CMAKE_CURRENT_LIST_DIR}/library_override.h) and depends on PAPPL 1.3's internals, \
but the PAPPL found, ${PAPPL_LIBRARY}, does not fit:\n  ${misfits}\n")
  if(VEXAO_FORCE_PRINTER_APP)
    message(WARNING "${problem}VEXAO_FORCE_PRINTER_APP is on: the printer application is built all the same.")
  else()
    message(FATAL_ERROR "${problem}Configure with -DVEXAO_WITH_PRINTER_APP=OFF to leave the printer application out, \
or with -DVEXAO_FORCE_PRINTER_APP=ON to build it once you have checked each override against this PAPPL.")
  endif()
else()
  message(STATUS "PAPPL ${VEXAO_PAPPL_VERSION} fits the printer application: it calls all ${VEXAO_OVERRIDE_COUNT} of its overrides")
endif()
