# The lookup windows: whois and IP location.
target_sources(kaldrani_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/whois.h
  ${CMAKE_CURRENT_LIST_DIR}/whois.cpp
  ${CMAKE_CURRENT_LIST_DIR}/IP.h
  ${CMAKE_CURRENT_LIST_DIR}/IP.cpp
)
