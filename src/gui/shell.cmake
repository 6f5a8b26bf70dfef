# The shell: main window, tray, update notice and about windows, and the program itself.
find_package(Qt6 REQUIRED COMPONENTS Network)

target_sources(kaldrani_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AppWindows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainFrm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/updata.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BrowserOpener.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Icons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageRankPictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RelayedViews.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Runner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Placement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TGauge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TLinkLabel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ToolWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VersionCheck.cpp
)
target_link_libraries(kaldrani_gui PUBLIC Qt6::Network)

add_executable(kaldrani ${CMAKE_CURRENT_LIST_DIR}/tools.cpp)
target_link_libraries(kaldrani PRIVATE kaldrani_gui)
kaldrani_qt_target(kaldrani)

install(TARGETS kaldrani RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/kaldrani.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/kaldrani.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
target_sources(kaldrani_gui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp)
