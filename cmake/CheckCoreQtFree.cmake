# cmake -DSOURCE_DIR=<src> -P CheckCoreQtFree.cmake
# Fails when a source or header outside SOURCE_DIR/app includes a Qt header
# (<QWidget>, <QtCore/...>, <qglobal.h>, ...): the core and the command line
# must build and run without Qt.
file(GLOB_RECURSE files ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(offenders "")
foreach(f ${files})
  if(f MATCHES "^${SOURCE_DIR}/app/")
    continue()
  endif()
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|Qt[A-Za-z]*/|q[a-z]+\\.h)")
  if(lines)
    list(APPEND offenders "${f}: ${lines}")
  endif()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "Qt header included outside src/app:\n  ${text}")
endif()
