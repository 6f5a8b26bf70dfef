# The keyword ranking window.
target_sources(kaldrani_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/KeyWord.h
  ${CMAKE_CURRENT_LIST_DIR}/KeyWord.cpp
)
