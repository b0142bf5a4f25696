# Which voice client library the bridge is built against. VB_VOICECLIENT_SDK
# names a folder laid out as the vendor ships its SDK:
#   include/voiceclient.h   the header
#   lib/                    the import library (Windows) or the shared object
#   bin/                    the DLL (Windows)
# Unset, the bridge uses the stand-in in voiceclient/. Either way the
# library ends up beside the bridge in the build tree, where it is loaded
# from, and in the package.
set(VB_VOICECLIENT_SDK "" CACHE PATH
    "A voice client SDK folder (include/, lib/, bin/) to build the bridge against instead of the stand-in")
set(VB_VOICECLIENT_LIBRARY_NAME voiceclient CACHE STRING
    "The SDK's library name, without prefix or suffix")

if(NOT VB_VOICECLIENT_SDK)
  set(VB_VOICECLIENT_TARGET voiceclient)
  set(VB_VOICECLIENT_INCLUDE ${PROJECT_SOURCE_DIR}/voiceclient/include)
  set(VB_VOICECLIENT_STAND_IN ON)
  function(vb_copy_sdk_runtime_beside target)
  endfunction()
  return()
endif()

set(VB_VOICECLIENT_STAND_IN OFF)
get_filename_component(VB_VOICECLIENT_SDK "${VB_VOICECLIENT_SDK}" ABSOLUTE)
# The cross toolchain roots every search in its own sysroot; the SDK lies
# outside it.
find_path(VB_VOICECLIENT_INCLUDE voiceclient.h PATHS ${VB_VOICECLIENT_SDK}/include
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_library(VB_VOICECLIENT_LIBRARY ${VB_VOICECLIENT_LIBRARY_NAME}
             PATHS ${VB_VOICECLIENT_SDK}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(WIN32)
  find_file(VB_VOICECLIENT_RUNTIME ${VB_VOICECLIENT_LIBRARY_NAME}.dll
            PATHS ${VB_VOICECLIENT_SDK}/bin ${VB_VOICECLIENT_SDK}/lib
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
else()
  set(VB_VOICECLIENT_RUNTIME ${VB_VOICECLIENT_LIBRARY})
endif()
foreach(part VB_VOICECLIENT_INCLUDE VB_VOICECLIENT_LIBRARY VB_VOICECLIENT_RUNTIME)
  if(NOT ${part})
    message(FATAL_ERROR "VB_VOICECLIENT_SDK=${VB_VOICECLIENT_SDK} is not a voice client SDK: "
                        "${part} not found (expected include/voiceclient.h, lib/ and, "
                        "on Windows, bin/${VB_VOICECLIENT_LIBRARY_NAME}.dll)")
  endif()
endforeach()
message(STATUS "The bridge is built against the voice client SDK in ${VB_VOICECLIENT_SDK}")

add_library(voiceclient_sdk SHARED IMPORTED)
set_target_properties(voiceclient_sdk PROPERTIES
  IMPORTED_LOCATION ${VB_VOICECLIENT_RUNTIME}
  INTERFACE_INCLUDE_DIRECTORIES ${VB_VOICECLIENT_INCLUDE})
if(WIN32)
  set_target_properties(voiceclient_sdk PROPERTIES IMPORTED_IMPLIB ${VB_VOICECLIENT_LIBRARY})
else()
  # Loaded beside the bridge by its plain file name, as from a package.
  set_target_properties(voiceclient_sdk PROPERTIES IMPORTED_NO_SONAME ON)
endif()
set(VB_VOICECLIENT_TARGET voiceclient_sdk)

# The program and its tests load the library from the program's folder.
function(vb_copy_sdk_runtime_beside target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VB_VOICECLIENT_RUNTIME}
            $<TARGET_FILE_DIR:${target}>)
endfunction()
