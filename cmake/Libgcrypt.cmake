# libgcrypt and the libgpg-error it needs, as the Windows build links them: the
# DLLs of Debian's MinGW packages (libgcrypt-mingw-w64-dev), by their import
# libraries named in full, since the static runtime's -static would otherwise
# take the static archives.
find_library(GPG_ERROR_IMPLIB NAMES libgpg-error.dll.a REQUIRED)
find_file(GPG_ERROR_DLL NAMES libgpg-error-0.dll PATH_SUFFIXES bin REQUIRED)
find_library(GCRYPT_IMPLIB NAMES libgcrypt.dll.a REQUIRED)
find_file(GCRYPT_DLL NAMES libgcrypt-20.dll PATH_SUFFIXES bin REQUIRED)
find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
# Their licence and the notices of who holds what, which ship with them.
find_file(LGPL_2_1_TEXT NAMES LGPL-2.1 PATHS /usr/share/common-licenses
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(GCRYPT_COPYRIGHT NAMES copyright PATHS /usr/share/doc/libgcrypt-mingw-w64-dev
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_file(GPG_ERROR_COPYRIGHT NAMES copyright PATHS /usr/share/doc/libgpg-error-mingw-w64-dev
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

add_library(Libgcrypt::GpgError SHARED IMPORTED)
set_target_properties(Libgcrypt::GpgError PROPERTIES
  IMPORTED_IMPLIB ${GPG_ERROR_IMPLIB} IMPORTED_LOCATION ${GPG_ERROR_DLL})

add_library(Libgcrypt::Libgcrypt SHARED IMPORTED)
set_target_properties(Libgcrypt::Libgcrypt PROPERTIES
  IMPORTED_IMPLIB ${GCRYPT_IMPLIB} IMPORTED_LOCATION ${GCRYPT_DLL}
  INTERFACE_INCLUDE_DIRECTORIES ${GCRYPT_INCLUDE_DIR}
  INTERFACE_LINK_LIBRARIES Libgcrypt::GpgError)

# What the packages ship beside the programs: the DLLs, and in the folder
# licenses the texts below, under the names after them.
set(VANDREL_RUNTIME_DLLS ${GCRYPT_DLL} ${GPG_ERROR_DLL} CACHE INTERNAL "The DLLs the Windows programs load")
set(VANDREL_LICENSE_TEXTS ${LGPL_2_1_TEXT} ${GCRYPT_COPYRIGHT} ${GPG_ERROR_COPYRIGHT}
    CACHE INTERNAL "The licence and notices of the DLLs")
set(VANDREL_LICENSE_NAMES libgcrypt-LGPL-2.1.txt libgcrypt-copyright.txt libgpg-error-copyright.txt
    CACHE INTERNAL "The names the licence and notices of the DLLs ship under")
