# Proves that the core's floors are kept apart by the build: run by CTest as
#   cmake -DCOMPILER=... -DFLOORS=<build>/floors -DSOURCE=<src> -DWORK=<dir> -P check_floors.cmake
#
# Each floor's library compiles with an include directory that holds only the
# headers of that floor and the floors below it (torvex_floor_includes in
# src/CMakeLists.txt). Two things are checked against exactly that directory:
#   - every header of a floor compiles with it alone, so no header of a floor
#     reaches upward (nor into Qt, whose headers are not on that path);
#   - a source that includes a header of any floor above fails to compile,
#     and fails because the header cannot be found.

set(floors model solver results run study)

function(compile floor source result output)
  file(WRITE ${WORK}/${floor}_probe.cpp "${source}")
  execute_process(
    # The compiler's messages in English whatever the locale, so that a
    # missing header is recognised as one.
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C LANG=C LANGUAGE=
            ${COMPILER} -std=c++20 -fsyntax-only -I ${FLOORS}/torvex_${floor} ${WORK}/${floor}_probe.cpp
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} ${status} PARENT_SCOPE)
  set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${WORK})
set(failures 0)
list(LENGTH floors count)
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
  list(GET floors ${index} floor)
  if(NOT IS_DIRECTORY ${FLOORS}/torvex_${floor})
    message(SEND_ERROR "floor ${floor}: no include directory ${FLOORS}/torvex_${floor}")
    math(EXPR failures "${failures} + 1")
    continue()
  endif()
  file(GLOB headers RELATIVE ${SOURCE} ${SOURCE}/${floor}/*.h)
  set(all "")
  foreach(header IN LISTS headers)
    string(APPEND all "#include \"${header}\"\n")
  endforeach()
  compile(${floor} "${all}" status output)
  if(NOT status EQUAL 0)
    message(SEND_ERROR "floor ${floor}: its headers do not compile with its own include directory:\n${output}")
    math(EXPR failures "${failures} + 1")
  endif()
  if(index LESS last)
    math(EXPR above "${index} + 1")
    foreach(upper RANGE ${above} ${last})
      list(GET floors ${upper} higher)
      file(GLOB higherHeaders RELATIVE ${SOURCE} ${SOURCE}/${higher}/*.h)
      list(SORT higherHeaders)
      list(GET higherHeaders 0 header)
      compile(${floor} "#include \"${header}\"\n" status output)
      if(status EQUAL 0)
        message(SEND_ERROR "floor ${floor} can include ${header} of the floor above it")
        math(EXPR failures "${failures} + 1")
      elseif(NOT output MATCHES "No such file|not found")
        message(SEND_ERROR "floor ${floor}: including ${header} failed, but not for want of the header:\n${output}")
        math(EXPR failures "${failures} + 1")
      endif()
    endforeach()
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} floor check(s) failed")
endif()
message(STATUS "every floor includes only itself and the floors below it")
