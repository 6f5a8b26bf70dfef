# The whois and IP lookup windows, driven through the real widgets offscreen against the
# stand-in services.
add_executable(test_gui_lookups
  ${CMAKE_CURRENT_LIST_DIR}/LookupWindowsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_link_libraries(test_gui_lookups PRIVATE kaldrani_gui kaldrani_standin_lib kaldrani_test_support Qt6::Test GTest::gtest)
kaldrani_qt_target(test_gui_lookups)
target_compile_definitions(test_gui_lookups PRIVATE KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_lookups
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
