# Read by cpack once per generator, before it installs into its staging tree.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(ENV{SOLIDMORPH_PACKAGE_BINDIR} games)
else()
  unset(ENV{SOLIDMORPH_PACKAGE_BINDIR})
endif()
