# cmake --install BUILD --prefix DIR: what a Java user needs, laid out the usual way.
#   DIR/share/java/vantorel.jar                the jar (it carries the library and classifier too)
#   DIR/lib/libVantorel.so                     the library, for -Djava.library.path=DIR/lib
#   DIR/share/vantorel/classifier/             the face classifier the installed library finds
#   DIR/share/doc/vantorel/README, TrackHead.java
include(GNUInstallDirs)

set(VANTOREL_INSTALLED_CLASSIFIER_DIR ${CMAKE_INSTALL_DATADIR}/vantorel/classifier)
# The library looks for the classifier relative to its own folder, wherever the tree is put.
file(RELATIVE_PATH VANTOREL_CLASSIFIER_FROM_LIBRARY /${CMAKE_INSTALL_LIBDIR} /${VANTOREL_INSTALLED_CLASSIFIER_DIR})
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/init/ClassifierLocation.cpp PROPERTIES
  COMPILE_DEFINITIONS VANTOREL_INSTALLED_CLASSIFIER="${VANTOREL_CLASSIFIER_FROM_LIBRARY}")

# Every dependency is a system library: the installed library carries no search path of its own,
# least of all one into this build tree.
set_target_properties(Vantorel PROPERTIES INSTALL_RPATH "")
install(TARGETS Vantorel LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${VANTOREL_JAR_WITH_LIBRARY} DESTINATION ${CMAKE_INSTALL_DATADIR}/java)
install(DIRECTORY ${CMAKE_BINARY_DIR}/classifier/ DESTINATION ${VANTOREL_INSTALLED_CLASSIFIER_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/java/README.install DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantorel RENAME README)
install(FILES ${CMAKE_SOURCE_DIR}/java/examples/TrackHead.java DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantorel)
