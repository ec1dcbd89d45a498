# Runs "tovaline --screenshot" as a user would on a machine without a display and checks that a
# PNG of the main window came out.  -DEXE=<tovaline> -DOUT=<file.png>
file(REMOVE "${OUT}")
execute_process(COMMAND "${EXE}" --screenshot "${OUT}" RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "tovaline --screenshot exited with ${rc}")
endif()
file(READ "${OUT}" signature LIMIT 8 HEX)
if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "${OUT} is not a PNG file (starts with ${signature})")
endif()
