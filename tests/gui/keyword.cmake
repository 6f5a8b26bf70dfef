# The keyword ranking window, driven through the real widgets offscreen against the stand-in.
add_executable(test_gui_keyword
  ${CMAKE_CURRENT_LIST_DIR}/KeyWordTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_link_libraries(test_gui_keyword PRIVATE kaldrani_gui kaldrani_standin_lib Qt6::Test GTest::gtest)
# The picture of the window lands next to the test program, for a look by eye.
target_compile_definitions(test_gui_keyword PRIVATE KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_keyword
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
