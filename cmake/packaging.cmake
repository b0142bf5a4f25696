# The package a game puts in its installer: the bridge, the voice client
# library it was linked against, the integration guide and the changelog.
# cmake --build --preset windows --target package makes
# voicebridge-<version>-win64.zip; the native preset a .tar.gz.
install(TARGETS voicebridge COMPONENT bridge RUNTIME DESTINATION .)
if(VB_VOICECLIENT_STAND_IN)
  install(TARGETS voiceclient COMPONENT bridge RUNTIME DESTINATION . LIBRARY DESTINATION .)
  install(FILES voiceclient/STAND-IN.txt DESTINATION . RENAME voiceclient-STAND-IN.txt
          COMPONENT bridge)
else()
  install(FILES ${VB_VOICECLIENT_RUNTIME} DESTINATION . COMPONENT bridge)
endif()
install(FILES docs/game-integration.md CHANGELOG.md DESTINATION . COMPONENT bridge)

set(CPACK_PACKAGE_NAME voicebridge)
set(CPACK_PACKAGE_VENDOR "voicebridge")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Voice chat for a game through plain text files")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
# Only the bridge's component: not the SDK folder, nor anything a
# dependency installs.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};bridge;/")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
