# Fails when a source file includes what its layer may not: a project
# header from a layer above it, or an operating-system or Qt header in the
# portable code. Run as: cmake -DSRC=<src dir> -P CheckLayers.cmake
#
# Each rule: a folder under src/ (the longest match wins), the project
# folders its files may include, and whether they may include headers other
# than the standard library's (an include with a "." or "/" in its name).

set(rules
  "astro|astro|std"
  "protocol|protocol|std"
  "app|app astro|std"
  "link|link app protocol astro|std"
  "entry|entry link app protocol astro|std"
  "commission|commission app astro|std"
  "config|config|std"
  "transcript|transcript protocol|std"
  "version|version|std"
  "platform|platform protocol app|os"
  "sim/engine|sim/engine protocol|std"
  "sim|sim protocol platform transcript version|os"
  "ui|ui commission config app astro protocol transcript version|std"
  "ui/qt|ui commission config app astro protocol entry link platform sim transcript version|os"
  "ui/win32|ui commission config app astro protocol entry link platform sim transcript version|os"
  "cli|cli config ui commission app astro protocol entry link platform sim transcript version|std"
  "indi|indi cli config ui commission app astro protocol entry link platform sim transcript version|os")
# libindi's headers (and the libnova ones it brings) belong to the INDI
# driver alone; nothing includes the driver (no other rule names indi).
set(indi_headers "^(libindi|libnova)/|^(indi[a-z]*|defaultdevice|basedevice|lilxml|libastro)\\.h$")
# Headers a folder may not include although their layer is open to it: the
# link talks to the model only through the interfaces.
set(denied
  "link|app/AppModel.h app/HeartBeatTimer.h")
# Program entries may use the operating system for their own start-up.
set(os_entries "cli/main.cpp")

if(NOT SRC)
  message(FATAL_ERROR "pass -DSRC=<src dir>")
endif()
file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)

set(faults 0)
foreach(file IN LISTS sources)
  # The rule of the longest folder that contains the file.
  set(best "")
  set(best_length 0)
  foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 folder)
    string(LENGTH "${folder}" length)
    string(FIND "${file}" "${folder}/" at)
    if(at EQUAL 0 AND length GREATER best_length)
      set(best "${rule}")
      set(best_length ${length})
    endif()
  endforeach()
  if(best STREQUAL "")
    message(SEND_ERROR "${file}: no layer rule covers this folder")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  string(REPLACE "|" ";" parts "${best}")
  list(GET parts 1 allowed)
  list(GET parts 2 kind)
  string(REPLACE " " ";" allowed "${allowed}")
  set(deny "")
  foreach(rule IN LISTS denied)
    string(REPLACE "|" ";" d "${rule}")
    list(GET d 0 folder)
    string(FIND "${file}" "${folder}/" at)
    if(at EQUAL 0)
      list(GET d 1 deny)
      string(REPLACE " " ";" deny "${deny}")
    endif()
  endforeach()
  list(FIND os_entries "${file}" entry)
  if(NOT entry EQUAL -1)
    set(kind "os")
  endif()

  file(STRINGS ${SRC}/${file} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header "${CMAKE_MATCH_1}")
      string(REGEX MATCH "^[^/]+/[^/]+/" two "${header}")
      string(REGEX MATCH "^[^/]+/" one "${header}")
      string(REGEX REPLACE "/$" "" two "${two}")
      string(REGEX REPLACE "/$" "" one "${one}")
      if(one STREQUAL "")
        continue()   # a header beside the file, or a generated one
      endif()
      list(FIND allowed "${two}" hit_two)
      list(FIND allowed "${one}" hit_one)
      list(FIND deny "${header}" hit_deny)
      if(NOT hit_deny EQUAL -1)
        set(hit_one -1)
        set(hit_two -1)
      endif()
      if(hit_one EQUAL -1 AND hit_two EQUAL -1)
        message(SEND_ERROR "${file}: includes \"${header}\", which its layer may not")
        math(EXPR faults "${faults} + 1")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
      set(header "${CMAKE_MATCH_1}")
      string(FIND "${file}" "indi/" in_indi)
      if(header MATCHES "${indi_headers}" AND NOT in_indi EQUAL 0)
        message(SEND_ERROR "${file}: includes <${header}>, which only src/indi may")
        math(EXPR faults "${faults} + 1")
      endif()
      if(kind STREQUAL "std" AND header MATCHES "[./]")
        message(SEND_ERROR "${file}: includes <${header}>, not a standard library header")
        math(EXPR faults "${faults} + 1")
      endif()
    endif()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) cross the layers")
endif()
list(LENGTH sources count)
message(STATUS "layers: ${count} files, every include within its layer")
