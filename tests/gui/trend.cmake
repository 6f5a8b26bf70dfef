# The trend chart and CSV export, reached from the history window, driven offscreen.
add_executable(test_gui_trend
  ${CMAKE_CURRENT_LIST_DIR}/TrendWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_include_directories(test_gui_trend PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(test_gui_trend PRIVATE kaldrani_gui Qt6::Test GTest::gtest)
target_compile_definitions(test_gui_trend PRIVATE KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_trend PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
