# The menu entry with its icon, the manual pages and the Debian package's
# own documents (copyright, changelog).

set(KV7_LINUX_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KV7_PACKAGE_OUT ${CMAKE_CURRENT_BINARY_DIR})

# The changelog, compressed without a time stamp so that the package is
# the same from one build to the next.
configure_file(${KV7_LINUX_DIR}/changelog.in ${KV7_PACKAGE_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${KV7_PACKAGE_OUT}/changelog.gz
  COMMAND gzip -9nkf ${KV7_PACKAGE_OUT}/changelog
  DEPENDS ${KV7_PACKAGE_OUT}/changelog
  VERBATIM)
add_custom_target(kv7_changelog ALL DEPENDS ${KV7_PACKAGE_OUT}/changelog.gz)
install(FILES ${KV7_LINUX_DIR}/copyright ${KV7_PACKAGE_OUT}/changelog.gz
  DESTINATION ${KV7_INSTALL_DOCDIR} COMPONENT docs)

# kv7_manual_page(TARGET SUMMARY COMPONENT): TARGET(1), made by help2man
# from the program's --help and --version, with the sections of
# linux/TARGET.h2m added.
find_program(KV7_HELP2MAN help2man)
function(kv7_manual_page target summary component)
  if(NOT TARGET ${target})
    return()
  endif()
  if(NOT KV7_HELP2MAN)
    message(STATUS "help2man not found: no manual page for ${target}")
    return()
  endif()
  set(page ${KV7_PACKAGE_OUT}/man/${target}.1)
  set(include ${KV7_LINUX_DIR}/${target}.h2m)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KV7_PACKAGE_OUT}/man
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${KV7_HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${summary}
            --include=${include} --output=${page} $<TARGET_FILE:${target}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${target} ${include}
    COMMENT "Manual page ${target}(1)"
    VERBATIM)
  add_custom_target(${target}-manual ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

kv7_manual_page(kv7ctl "talk to a KV7 motor controller from the command line" cli)
kv7_manual_page(kv7sim "a virtual KV7 motor controller on a pseudo-terminal" sim)
kv7_manual_page(indi_kv7_telescope "an INDI telescope driver for the KV7 motor controller" indi)
kv7_manual_page(kv7-encoder-setup "set up and test a KV7 motor controller's encoders" desktop)

# The desktop program in the application menu, with the program's icon in
# each size the Windows icon holds, converted by ImageMagick.
if(TARGET kv7-encoder-setup)
  install(FILES ${KV7_LINUX_DIR}/kv7-encoder-setup.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT desktop)
  find_program(KV7_CONVERT convert)
  if(NOT KV7_CONVERT)
    message(STATUS "ImageMagick's convert not found: the menu entry has no icon")
    return()
  endif()
  set(ico ${PROJECT_SOURCE_DIR}/resources/kv7.ico)
  set(index 0)
  set(pngs "")
  foreach(size 16 32 48)
    set(png ${KV7_PACKAGE_OUT}/icons/${size}x${size}/kv7-encoder-setup.png)
    # Without the date chunks the picture is the same on every build.
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KV7_PACKAGE_OUT}/icons/${size}x${size}
      COMMAND ${KV7_CONVERT} ${ico}[${index}] -strip -define png:exclude-chunks=date,time PNG32:${png}
      DEPENDS ${ico}
      VERBATIM)
    list(APPEND pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
      COMPONENT desktop)
    math(EXPR index "${index} + 1")
  endforeach()
  add_custom_target(kv7_icons ALL DEPENDS ${pngs})
endif()
