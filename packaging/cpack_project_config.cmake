# Read by cpack once per generator, before it installs into its staging tree.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(ENV{SOLIDMORPH_PACKAGE_BINDIR} games)
  set(ENV{SOLIDMORPH_PACKAGE_LIBEXECDIR} lib/games)
else()
  unset(ENV{SOLIDMORPH_PACKAGE_BINDIR})
  unset(ENV{SOLIDMORPH_PACKAGE_LIBEXECDIR})
endif()
