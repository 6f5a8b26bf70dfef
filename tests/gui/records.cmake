# The records windows and the error box, driven through the real widgets offscreen.
add_executable(test_gui_records
  ${CMAKE_CURRENT_LIST_DIR}/RecordsWindowsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_link_libraries(test_gui_records PRIVATE kaldrani_gui kaldrani_test_support Qt6::Test GTest::gtest)
kaldrani_qt_target(test_gui_records)
# The pictures of the windows land next to the test program, for a look by eye.
target_compile_definitions(test_gui_records PRIVATE
  KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_records
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
