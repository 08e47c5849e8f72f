# chmlib (Debian's libchm-dev), the reader that the compiled help file is
# checked with, as the imported target ChmLib::chmlib: the library itself is
# named "chm", which would read like this project's chm/ folder. It ships no
# pkg-config file.
find_library(CHMLIB_LIBRARY NAMES chm REQUIRED)
find_path(CHMLIB_INCLUDE_DIR chm_lib.h REQUIRED)
add_library(ChmLib::chmlib UNKNOWN IMPORTED)
set_target_properties(ChmLib::chmlib PROPERTIES
  IMPORTED_LOCATION ${CHMLIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${CHMLIB_INCLUDE_DIR})
