# What `cmake --install` puts where, and the Debian package built from it
# (`cpack -G DEB` in the build folder):
#   bin/prismora, bin/Prismora(64bit).aex  the tool finds the plug-in beside itself
#   lib/frei0r-1/prismora.so               where ffmpeg, MLT and GStreamer look
#                                          (/usr/lib/frei0r-1 with the prefix /usr);
#                                          it finds the plug-in in ../../bin
# plus the effect's descriptions for Kdenlive and Shotcut (tools/frei0r).
if(WIN32 OR CMAKE_CROSSCOMPILING)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS prismora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS prismora_plugin LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET prismora_frei0r)
  # Not CMAKE_INSTALL_LIBDIR: Debian's hosts look in lib/frei0r-1, with no
  # multiarch folder.
  install(TARGETS prismora_frei0r LIBRARY DESTINATION lib/frei0r-1)
endif()

set(CPACK_PACKAGE_NAME prismora)
set(CPACK_PACKAGE_VENDOR Norvik)
set(CPACK_PACKAGE_CONTACT "Norvik <prismora@norvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Prismora radial colour fringing: the prismora tool and a frei0r filter")
set(CPACK_PACKAGE_DESCRIPTION
  "The Prismora effect (radial colour fringing) with the prismora command-line renderer, and a
frei0r filter that puts it in ffmpeg (-vf frei0r=prismora), MLT (melt, Kdenlive, Shotcut) and
GStreamer (frei0r-filter-prismora), rendering the same frames as prismora render.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The libraries the tool and the module link (OpenImageIO, FFmpeg's, the C++
# runtime) as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, melt, gstreamer1.0-plugins-bad, kdenlive, shotcut")
set(CPACK_GENERATOR DEB)
include(CPack)
