# The program's shell windows, driven through the real widgets offscreen against the
# stand-in services.
add_executable(test_gui_shell
  ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShellPartsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowsWaitTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_link_libraries(test_gui_shell PRIVATE kaldrani_gui kaldrani_standin_lib kaldrani_test_support Qt6::Test GTest::gtest)
kaldrani_qt_target(test_gui_shell)
# The pictures of the windows land next to the test program, for a look by eye.
target_compile_definitions(test_gui_shell PRIVATE KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_shell
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
target_sources(test_gui_shell PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceTest.cpp)
target_compile_definitions(test_gui_shell PRIVATE KALDRANI_GUI_PROGRAM="$<TARGET_FILE:kaldrani>")
add_dependencies(test_gui_shell kaldrani)
