# The thread, mutex and operation wrappers, a library of their own so that the
# application, the engine and the tests can link them alone.
add_library(tvx_wrappers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/TvxBaseError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tvxop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tvxsem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tvxthd.cpp
)
target_include_directories(tvx_wrappers PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tvx_wrappers PUBLIC tvx_framework)
