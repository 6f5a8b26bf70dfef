# The trend chart and CSV export, reached from the history window, driven offscreen.
add_executable(test_gui_trend
  ${CMAKE_CURRENT_LIST_DIR}/TrendWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_link_libraries(test_gui_trend PRIVATE kaldrani_gui kaldrani_test_support Qt6::Test GTest::gtest)
kaldrani_qt_target(test_gui_trend)
target_compile_definitions(test_gui_trend PRIVATE KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_trend PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
