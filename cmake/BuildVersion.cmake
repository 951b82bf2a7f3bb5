# Writes the version header: cmake -DKV7_VERSION=x.y.z -DSOURCE_DIR=<checkout>
# -DOUTPUT=<header> -P BuildVersion.cmake. Run on every build, so that the
# commit follows the checkout; configure_file leaves the header (and what
# is compiled from it) alone while nothing has changed. Outside a git
# checkout (a source tarball) the commit is left empty.
foreach(var KV7_VERSION SOURCE_DIR OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "pass -D${var}=...")
  endif()
endforeach()
string(REPLACE "." ";" parts "${KV7_VERSION}")
list(GET parts 0 KV7_VERSION_MAJOR)
list(GET parts 1 KV7_VERSION_MINOR)
list(GET parts 2 KV7_VERSION_PATCH)

set(KV7_BUILD_COMMIT "")
# Only the checkout's own history: a tarball unpacked inside some other
# repository must not take that one's commit.
if(EXISTS "${SOURCE_DIR}/.git")
  find_program(GIT git)
  if(GIT)
    # --exclude '*': no tag names, the abbreviated hash alone, "-dirty" when
    # tracked files differ from the commit.
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" describe --always --dirty --abbrev=10 --exclude=*
                    OUTPUT_VARIABLE KV7_BUILD_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
      set(KV7_BUILD_COMMIT "")
    endif()
  endif()
endif()

if(KV7_BUILD_COMMIT STREQUAL "")
  set(KV7_VERSION_TEXT "${KV7_VERSION}")
else()
  set(KV7_VERSION_TEXT "${KV7_VERSION} (${KV7_BUILD_COMMIT})")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in" "${OUTPUT}" @ONLY)
