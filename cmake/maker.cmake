# The maker's addresses that the settings bundle compiles in, as the header maker.hpp in the folder
# TWINLY_MAKER_INCLUDE, written by device/maker.py at every configure (make configures at every
# build, so MAKER_EMAIL or MAKER_PAGE given to make take effect) and whenever maker.conf changes.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
get_filename_component(maker_source ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(TWINLY_MAKER_INCLUDE ${CMAKE_BINARY_DIR}/maker)
execute_process(COMMAND ${Python3_EXECUTABLE} ${maker_source}/device/maker.py --header ${TWINLY_MAKER_INCLUDE}/maker.hpp
  RESULT_VARIABLE failed ERROR_VARIABLE reason)
if(failed)
  message(FATAL_ERROR "${reason}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${maker_source}/maker.conf)
