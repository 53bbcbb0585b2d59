# Fails when a source file under SRC makes an event loop of its own: apart from the one
# main() enters, everything waits for signals, so no slot runs inside another.
file(GLOB_RECURSE sources "${SRC}/*.cpp" "${SRC}/*.h")
set(found "")
foreach(source ${sources})
  file(STRINGS "${source}" lines REGEX "QEventLoop[ \t]+[A-Za-z_][A-Za-z_0-9]*[ \t]*[;({]|new[ \t]+QEventLoop|QEventLoop[ \t]*[({][^;]*\\.[ \t]*exec")
  foreach(line ${lines})
    string(APPEND found "${source}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "An event loop of its own:\n${found}")
endif()
