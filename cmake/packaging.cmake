# Installs solidmorph like a desktop program (binary, texture, menu entry,
# icon, manual page) and packages that tree as a Debian package.
include(GNUInstallDirs)

set(SOLIDMORPH_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(SOLIDMORPH_GENERATED_DIR ${PROJECT_BINARY_DIR}/packaging)
find_program(SOLIDMORPH_GZIP gzip REQUIRED)

# The command users type is a small launcher that starts the program in the
# folder holding its texture; the program itself lives in a private folder.
# Debian keeps the commands of games in /usr/games and their private
# programs in /usr/lib/games, so the package moves both there; CPack tells
# the install step through the environment, the one channel it shares with
# it. Every other install uses the usual bin/ and libexec/.
set(CPACK_PROJECT_CONFIG_FILE ${SOLIDMORPH_PACKAGING_DIR}/cpack_project_config.cmake)
install(CODE "
  set(solidmorph_bindir [[${CMAKE_INSTALL_BINDIR}]])
  set(solidmorph_libexecdir [[${CMAKE_INSTALL_LIBEXECDIR}]])
  if(DEFINED ENV{SOLIDMORPH_PACKAGE_BINDIR})
    set(solidmorph_bindir \"\$ENV{SOLIDMORPH_PACKAGE_BINDIR}\")
  endif()
  if(DEFINED ENV{SOLIDMORPH_PACKAGE_LIBEXECDIR})
    set(solidmorph_libexecdir \"\$ENV{SOLIDMORPH_PACKAGE_LIBEXECDIR}\")
  endif()
")
install(TARGETS solidmorph RUNTIME DESTINATION "\${solidmorph_libexecdir}/solidmorph")
# The launcher lets the program find this folder from anywhere.
install(FILES ${PROJECT_SOURCE_DIR}/assets/vein.tga
        DESTINATION ${CMAKE_INSTALL_DATADIR}/solidmorph)
install(FILES ${PROJECT_SOURCE_DIR}/docs/icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps
        RENAME solidmorph.png)

# A manual page that needs no installed paths, compressed at build time as
# Debian ships them: install_manual_page(solidmorph-export 1).
function(install_manual_page name section)
  set(page ${SOLIDMORPH_GENERATED_DIR}/${name}.${section}.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SOLIDMORPH_GENERATED_DIR}
    COMMAND ${SOLIDMORPH_GZIP} -9nc ${SOLIDMORPH_PACKAGING_DIR}/${name}.${section} > ${page}
    DEPENDS ${SOLIDMORPH_PACKAGING_DIR}/${name}.${section} VERBATIM)
  string(REPLACE "-" "_" target ${name})
  add_custom_target(${target}_manual ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()

# The exporter is an ordinary command, and finds the texture from its own
# folder, so it keeps bin/ in every install.
if(TARGET solidmorph-export)
  install(TARGETS solidmorph-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install_manual_page(solidmorph-export 1)
endif()

# The explorer, like the exporter, finds the texture from its own folder and
# keeps bin/ in every install; its menu entry names that path, so it is
# written with the others below.
set(solidmorph_explorer OFF)
if(TARGET solidmorph-explore)
  install(TARGETS solidmorph-explore RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install_manual_page(solidmorph-explore 1)
  set(solidmorph_explorer ON)
endif()

# The saver is an ordinary command too; XScreenSaver finds it through a
# link in its folder of hacks (Debian: /usr/libexec/xscreensaver) and reads
# its settings file, which lists it in xscreensaver-settings.
install(TARGETS solidmorph-saver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SOLIDMORPH_PACKAGING_DIR}/solidmorph.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install_manual_page(solidmorph-saver 6)

# The launcher, the desktop entries and the manual page name installed
# paths, and cmake --install --prefix can move them after configuring, so
# they are written when installing rather than now.
install(CODE "
  set(SOLIDMORPH_SOURCE_DIR [[${SOLIDMORPH_PACKAGING_DIR}]])
  set(SOLIDMORPH_OUTPUT_DIR [[${SOLIDMORPH_GENERATED_DIR}]])
  set(SOLIDMORPH_BINDIR \"\${solidmorph_bindir}\")
  set(SOLIDMORPH_LIBEXECDIR \"\${solidmorph_libexecdir}\")
  set(SOLIDMORPH_DATADIR [[${CMAKE_INSTALL_DATADIR}]])
  set(SOLIDMORPH_MANDIR [[${CMAKE_INSTALL_MANDIR}]])
  set(SOLIDMORPH_COMMAND_BINDIR [[${CMAKE_INSTALL_BINDIR}]])
  set(SOLIDMORPH_EXPLORER [[${solidmorph_explorer}]])
  set(SOLIDMORPH_HACKDIR [[${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver]])
  set(SOLIDMORPH_GZIP [[${SOLIDMORPH_GZIP}]])
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  include([[${SOLIDMORPH_PACKAGING_DIR}/generate_install_files.cmake]])
")

# Who answers for the package: its Maintainer field, the copyright file's
# contact and the changelog's signature all take it from here.
# Build folders configured before keep the old default, on localhost, which
# Debian refuses; it gives way to the new one.
if(SOLIDMORPH_PACKAGE_MAINTAINER STREQUAL "solidmorph developers <solidmorph@localhost>")
  unset(SOLIDMORPH_PACKAGE_MAINTAINER CACHE)
endif()
set(SOLIDMORPH_PACKAGE_MAINTAINER "solidmorph developers <solidmorph@example.org>"
    CACHE STRING "Maintainer of the Debian package, also named in its copyright and changelog")

# The licence and the history travel with the programs in every install;
# Debian looks for them under /usr/share/doc/solidmorph, the changelog
# compressed like the manual pages.
set(changelog_top "")
file(STRINGS ${SOLIDMORPH_PACKAGING_DIR}/changelog.in changelog_top LIMIT_COUNT 1)
# A version raised without an entry for it would leave the package claiming
# the last release's history as its own.
if(NOT changelog_top MATCHES "^solidmorph \\(([^)]*)\\) " OR
   NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog.in has no entry for version ${PROJECT_VERSION} "
                      "at its top: add one")
endif()
configure_file(${SOLIDMORPH_PACKAGING_DIR}/copyright.in ${SOLIDMORPH_GENERATED_DIR}/copyright
               @ONLY)
configure_file(${SOLIDMORPH_PACKAGING_DIR}/changelog.in ${SOLIDMORPH_GENERATED_DIR}/changelog
               @ONLY)
add_custom_command(
  OUTPUT ${SOLIDMORPH_GENERATED_DIR}/changelog.gz
  COMMAND ${SOLIDMORPH_GZIP} -9nc ${SOLIDMORPH_GENERATED_DIR}/changelog
          > ${SOLIDMORPH_GENERATED_DIR}/changelog.gz
  DEPENDS ${SOLIDMORPH_GENERATED_DIR}/changelog VERBATIM)
add_custom_target(solidmorph_changelog ALL DEPENDS ${SOLIDMORPH_GENERATED_DIR}/changelog.gz)
install(FILES ${SOLIDMORPH_GENERATED_DIR}/copyright ${SOLIDMORPH_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian package: scripts/package builds it with cpack -G DEB.
set(CPACK_PACKAGE_NAME solidmorph)
set(CPACK_PACKAGE_VENDOR "solidmorph developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "spinning, morphing, textured supershape demo")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SOLIDMORPH_PACKAGE_MAINTAINER}")
# Not games: the saver, the exporter and the explorer are ordinary commands
# in /usr/bin, which Debian does not expect of a game; graphics holds
# viewers and modellers alike.
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's folders and control files get Debian's modes whatever the
# umask of the machine that builds it (0002 would make them group-writable).
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Runtime libraries (GLFW 3, GLU, GL, stb, the C and C++ runtimes) come from
# the binary itself, so the list cannot drift from what it links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary first and indents these lines; an empty line
# separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "solidmorph opens a full-screen OpenGL window and shows one textured, lit
solid: a supershape, the 3-D form of Gielis' superformula. It spins about
all three axes and morphs without end through eleven preset shapes, with a
marble texture drifting over its surface.

Nobody steers it: you watch, and press Escape to end it. Start it from the
menu, or type solidmorph in a terminal.

solidmorph-saver shows the same frames as a screensaver (XScreenSaver
lists it as Solidmorph) or in a window of its own, at any size.

solidmorph-export writes any shape of the morph as a glTF, OBJ, STL or 3MF
mesh. solidmorph-explore (Solidmorph Explorer in the menu) lets you stop
the morph, turn the solid, shape your own with six sliders, see at once
whether it would print as a sound solid, and export it.")
include(CPack)
