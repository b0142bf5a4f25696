# Two packages from one build. The bridge's own (component bridge) is what
# a game puts in its installer: the bridge, the voice client library it was
# linked against, the integration guide, the changelog, the licence and the
# notices. The developer's kit (component devkit, only with our stand-in
# library, which is all the simulated server speaks to) adds the simulated
# server with its demo scenario, gamectl, the protocol and a quick start.
# cmake --build --preset windows --target package makes
# voicebridge-<version>-win64.zip and voicebridge-devkit-<version>-win64.zip;
# the native preset the two .tar.gz.
if(WIN32)
  set(VB_PACKAGE_SYSTEM win64)
else()
  set(VB_PACKAGE_SYSTEM linux-${CMAKE_SYSTEM_PROCESSOR})
endif()
# Each package holds one folder named as the package itself.
set(VB_PACKAGE_bridge voicebridge-${PROJECT_VERSION}-${VB_PACKAGE_SYSTEM})
set(VB_PACKAGE_devkit voicebridge-devkit-${PROJECT_VERSION}-${VB_PACKAGE_SYSTEM})
set(VB_PACKAGE_DOCS docs/game-integration.md CHANGELOG.md LICENSE THIRD-PARTY-NOTICES)
set(VB_PACKAGE_COMPONENTS bridge)
if(VB_VOICECLIENT_STAND_IN)
  list(APPEND VB_PACKAGE_COMPONENTS devkit)
endif()

foreach(component ${VB_PACKAGE_COMPONENTS})
  set(folder ${VB_PACKAGE_${component}})
  install(TARGETS voicebridge COMPONENT ${component} RUNTIME DESTINATION ${folder})
  if(VB_VOICECLIENT_STAND_IN)
    install(TARGETS voiceclient COMPONENT ${component}
            RUNTIME DESTINATION ${folder} LIBRARY DESTINATION ${folder})
    install(FILES voiceclient/STAND-IN.txt DESTINATION ${folder} RENAME voiceclient-STAND-IN.txt
            COMPONENT ${component})
  else()
    install(FILES ${VB_VOICECLIENT_RUNTIME} DESTINATION ${folder} COMPONENT ${component})
  endif()
  install(FILES ${VB_PACKAGE_DOCS} DESTINATION ${folder} COMPONENT ${component})
endforeach()

if(VB_VOICECLIENT_STAND_IN)
  set(folder ${VB_PACKAGE_devkit})
  install(TARGETS voicesim gamectl COMPONENT devkit RUNTIME DESTINATION ${folder})
  install(FILES voicesim/scenarios/demo.txt DESTINATION ${folder}/scenarios COMPONENT devkit)
  install(FILES docs/voice-protocol.md DESTINATION ${folder} COMPONENT devkit)
  install(FILES docs/quickstart-${VB_PLATFORM}.txt DESTINATION ${folder} RENAME QUICKSTART.txt
          COMPONENT devkit)
  # The game kits, each with its README, as a game developer takes them.
  foreach(kit c/voicebridge_game.h c/voicebridge_game.c c/sample_game.c c/README.md
              csharp/VoiceBridge.cs csharp/SampleGame.cs csharp/README.md
              python/voicebridge_game.py python/sample_game.py python/README.md)
    get_filename_component(kit_folder ${kit} DIRECTORY)
    install(FILES gamekit/${kit} DESTINATION ${folder}/gamekit/${kit_folder} COMPONENT devkit)
  endforeach()
endif()

set(CPACK_PACKAGE_NAME voicebridge)
set(CPACK_PACKAGE_VENDOR "voicebridge")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Voice chat for a game through plain text files")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
# One archive per component, each named as its folder; nothing that a
# dependency installs, nor the SDK folder, goes into either.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENTS_ALL ${VB_PACKAGE_COMPONENTS})
set(CPACK_ARCHIVE_BRIDGE_FILE_NAME ${VB_PACKAGE_bridge})
set(CPACK_ARCHIVE_DEVKIT_FILE_NAME ${VB_PACKAGE_devkit})
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
