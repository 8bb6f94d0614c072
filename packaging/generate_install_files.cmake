# Runs at install time, when the final prefix is known (cmake --install
# --prefix may differ from the configured one): writes the launcher, the
# desktop entry and the gzipped manual page, all naming the installed paths,
# and installs them.
#
# Expects: SOLIDMORPH_SOURCE_DIR, SOLIDMORPH_OUTPUT_DIR, SOLIDMORPH_BINDIR,
# SOLIDMORPH_LIBEXECDIR, SOLIDMORPH_DATADIR, SOLIDMORPH_MANDIR,
# SOLIDMORPH_COMMAND_BINDIR (the saver's and the explorer's folder in every
# install), SOLIDMORPH_HACKDIR, SOLIDMORPH_EXPLORER (ON when the explorer
# was built), SOLIDMORPH_GZIP, PROJECT_VERSION and CMAKE_INSTALL_PREFIX.

# A relative prefix counts from the folder cmake --install runs in, which is
# this script's current source folder.
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE prefix)
foreach(dir BINDIR LIBEXECDIR DATADIR MANDIR COMMAND_BINDIR HACKDIR)
  cmake_path(ABSOLUTE_PATH SOLIDMORPH_${dir} BASE_DIRECTORY "${prefix}" NORMALIZE
             OUTPUT_VARIABLE ${dir})
endforeach()
set(program "${BINDIR}/solidmorph")
set(private_program "${LIBEXECDIR}/solidmorph/solidmorph")
set(texture_dir "${DATADIR}/solidmorph")

# The launcher's paths are single-quoted words for sh: nothing inside is
# special but the quote itself, which ends the quotes, adds an escaped
# quote and opens them again.
function(shell_word out text)
  string(REPLACE "'" "'\\''" text "${text}")
  set(${out} "'${text}'" PARENT_SCOPE)
endfunction()
shell_word(SOLIDMORPH_LAUNCHER_PROGRAM "${private_program}")
shell_word(SOLIDMORPH_LAUNCHER_DATA_DIR "${texture_dir}")

# Exec= is split like a command line: a path with a space or a shell
# character must be quoted, and inside the quotes " ` $ and \ need a
# backslash. % starts a field code, so a literal one is doubled.
function(desktop_exec out exec)
  string(REPLACE "%" "%%" exec "${exec}")
  if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
    set(exec "\"${exec}\"")
  endif()
  # Every value of the file is a string whose own escape is a backslash.
  string(REPLACE "\\" "\\\\" exec "${exec}")
  set(${out} "${exec}" PARENT_SCOPE)
endfunction()
desktop_exec(SOLIDMORPH_DESKTOP_EXEC "${program}")
# The saver's menu entry starts the saver's command; hosts of screensavers
# start the hack in XScreenSaver's folder.
desktop_exec(SOLIDMORPH_DESKTOP_SAVER_EXEC "${COMMAND_BINDIR}/solidmorph-saver")
desktop_exec(SOLIDMORPH_DESKTOP_EXPLORE_EXEC "${COMMAND_BINDIR}/solidmorph-explore")
desktop_exec(SOLIDMORPH_DESKTOP_HACK_EXEC "${HACKDIR}/solidmorph")
string(REPLACE "\\" "\\\\" SOLIDMORPH_DESKTOP_PATH "${texture_dir}")

# A path in the page is typed as is: roff reads a backslash as an escape, a
# hyphen as a hyphen rather than a minus, and may break a line at a space or
# hyphenate a word; \\% forbids hyphenation and "\\ " is a space without a break.
function(roff_literal out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REPLACE " " "\\ " text "${text}")
  set(${out} "\\%${text}" PARENT_SCOPE)
endfunction()
roff_literal(SOLIDMORPH_MAN_DATA_DIR "${texture_dir}")
roff_literal(SOLIDMORPH_MAN_PROGRAM "${program}")
roff_literal(SOLIDMORPH_MAN_PRIVATE_PROGRAM "${private_program}")

# A folder of its own per run: installs to other prefixes may run at the
# same time from the same build.
string(RANDOM LENGTH 12 run)
set(work "${SOLIDMORPH_OUTPUT_DIR}/install-${run}")
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph.sh.in" "${work}/solidmorph" @ONLY)
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph.desktop.in" "${work}/solidmorph.desktop"
               @ONLY)
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph.6.in" "${work}/solidmorph.6" @ONLY)
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph-saver.desktop.in"
               "${work}/solidmorph-saver.desktop" @ONLY)
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph-screensaver.desktop.in"
               "${work}/screensavers/solidmorph.desktop" @ONLY)
if(SOLIDMORPH_EXPLORER)
  configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph-explore.desktop.in"
                 "${work}/solidmorph-explore.desktop" @ONLY)
endif()
# XScreenSaver runs its hacks by name from its own folder; the hack there is
# a link to the saver on the PATH, relative so the tree can be staged.
file(RELATIVE_PATH saver_from_hacks "${HACKDIR}" "${COMMAND_BINDIR}/solidmorph-saver")
file(MAKE_DIRECTORY "${work}/hack")
file(CREATE_LINK "${saver_from_hacks}" "${work}/hack/solidmorph" SYMBOLIC)
# -n leaves the name and time out, so equal pages give equal archives.
execute_process(COMMAND "${SOLIDMORPH_GZIP}" -9n "${work}/solidmorph.6"
                COMMAND_ERROR_IS_FATAL ANY)

file(INSTALL DESTINATION "${BINDIR}" TYPE PROGRAM FILES "${work}/solidmorph")
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE
     FILES "${work}/solidmorph.desktop")
file(INSTALL DESTINATION "${MANDIR}/man6" TYPE FILE FILES "${work}/solidmorph.6.gz")
file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE
     FILES "${work}/solidmorph-saver.desktop")
file(INSTALL DESTINATION "${DATADIR}/applications/screensavers" TYPE FILE
     FILES "${work}/screensavers/solidmorph.desktop")
if(SOLIDMORPH_EXPLORER)
  file(INSTALL DESTINATION "${DATADIR}/applications" TYPE FILE
       FILES "${work}/solidmorph-explore.desktop")
endif()
file(INSTALL DESTINATION "${HACKDIR}" TYPE PROGRAM FILES "${work}/hack/solidmorph")
file(REMOVE_RECURSE "${work}")
