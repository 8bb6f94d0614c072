# Runs at install time, when the final prefix is known (cmake --install
# --prefix may differ from the configured one): writes the desktop entry and
# the gzipped manual page, both naming the installed paths.
#
# Expects: SOLIDMORPH_SOURCE_DIR, SOLIDMORPH_OUTPUT_DIR, SOLIDMORPH_BINDIR,
# SOLIDMORPH_DATADIR, SOLIDMORPH_GZIP, PROJECT_VERSION, CMAKE_INSTALL_PREFIX.

# A relative prefix is taken from the folder cmake --install runs in.
cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE
           OUTPUT_VARIABLE prefix)
cmake_path(ABSOLUTE_PATH SOLIDMORPH_BINDIR BASE_DIRECTORY "${prefix}" NORMALIZE
           OUTPUT_VARIABLE bin_dir)
cmake_path(ABSOLUTE_PATH SOLIDMORPH_DATADIR BASE_DIRECTORY "${prefix}" NORMALIZE
           OUTPUT_VARIABLE data_dir)
set(program "${bin_dir}/solidmorph")
set(texture_dir "${data_dir}/solidmorph")

# Exec= is split like a command line: a path with a space or a shell
# character must be quoted, and inside the quotes " ` $ and \ need a
# backslash. % starts a field code, so a literal one is doubled.
set(exec "${program}")
string(REPLACE "%" "%%" exec "${exec}")
if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
# Every value of the file is a string whose own escape is a backslash.
string(REPLACE "\\" "\\\\" SOLIDMORPH_DESKTOP_EXEC "${exec}")
string(REPLACE "\\" "\\\\" SOLIDMORPH_DESKTOP_PATH "${texture_dir}")
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph.desktop.in"
               "${SOLIDMORPH_OUTPUT_DIR}/solidmorph.desktop" @ONLY)

# roff reads a backslash as an escape and a hyphen as a hyphen, not a minus.
function(roff_literal out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
roff_literal(SOLIDMORPH_MAN_DATA_DIR "${texture_dir}")
roff_literal(SOLIDMORPH_MAN_PROGRAM "${program}")
configure_file("${SOLIDMORPH_SOURCE_DIR}/solidmorph.6.in"
               "${SOLIDMORPH_OUTPUT_DIR}/solidmorph.6" @ONLY)
# -n leaves the name and time out, so equal pages give equal archives.
execute_process(COMMAND "${SOLIDMORPH_GZIP}" -9n -f "${SOLIDMORPH_OUTPUT_DIR}/solidmorph.6"
                COMMAND_ERROR_IS_FATAL ANY)
