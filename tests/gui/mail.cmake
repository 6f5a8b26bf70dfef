# The bulk mail window, driven through the real widgets offscreen against the stand-in
# SMTP service.
add_executable(test_gui_mail
  ${CMAKE_CURRENT_LIST_DIR}/MailWindowTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp)
target_link_libraries(test_gui_mail PRIVATE kaldrani_gui kaldrani_standin_lib kaldrani_test_support Qt6::Test GTest::gtest)
kaldrani_qt_target(test_gui_mail)
target_compile_definitions(test_gui_mail PRIVATE KALDRANI_PICTURE_DIR="${CMAKE_CURRENT_BINARY_DIR}")
gtest_discover_tests(test_gui_mail
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
