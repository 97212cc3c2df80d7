# Delay-import libraries for the Windows builds: the DLLs that are not KnownDLLs (msi, winhttp, comctl32,
# bcrypt, crypt32) are never imported statically, since Windows would look for them beside the exe first, before the
# program's first line could say otherwise. Their calls go through the delay-load helper instead, whose hook
# loads each from the system folder (platform/windows/SystemLibrary.h).
#
# The callers must call the functions by name, not through __imp_ pointers: in the 32-bit build GNU ld leaves
# the delay-import table's slots empty until the stub has filled them, so a header that declares a delay-
# loaded function dllimport (commctrl.h and dpapi.h do; winhttp.h, msi.h and bcrypt.h do not) must be told otherwise.
#
# quillon_delay_import(NAME) makes the target quillon_delay_NAME: a delay-import library for NAME.dll with
# every function of the toolchain's own import library libNAME.a, made with the toolchain's dlltool.

find_program(QUILLON_DLLTOOL ${QUILLON_MINGW_TRIPLE}-dlltool REQUIRED)

function(quillon_delay_import name)
  find_library(_import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
  set(folder ${CMAKE_BINARY_DIR}/delay-imports)
  set(def ${folder}/${name}.def)
  set(library ${folder}/lib${name}-delay.a)
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${CMAKE_NM} ${_import_${name}} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  # __imp_Name (x86_64), __imp__Name@N (i686: stdcall names with their argument size)
  string(REGEX MATCHALL "__imp_[^\r\n]+" imports "${symbols}")
  set(exports "")
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^__imp_" "" export "${import}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX REPLACE "^_" "" export "${export}")
    endif()
    string(APPEND exports "  ${export}\n")
  endforeach()
  file(WRITE ${def}.new "LIBRARY ${name}.dll\nEXPORTS\n${exports}")
  file(COPY_FILE ${def}.new ${def} ONLY_IF_DIFFERENT)
  if(NOT EXISTS ${library} OR ${def} IS_NEWER_THAN ${library})
    # --kill-at: the DLL's exports carry no @N, the library's symbols keep it.
    execute_process(COMMAND ${QUILLON_DLLTOOL} --kill-at --input-def ${def} --output-delaylib ${library}
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  add_library(quillon_delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(quillon_delay_${name} PROPERTIES IMPORTED_LOCATION ${library})
  target_link_libraries(quillon_delay_${name} INTERFACE delayimp)
endfunction()
