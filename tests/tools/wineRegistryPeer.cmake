# Wine reads what the Linux build writes into a prefix's registry: a fresh prefix, values written by
# platformProbe (machine keys in the 32-bit view, user keys, a non-ASCII text), then `reg query` run
# by Wine in that prefix; a write while a wineserver serves the prefix is refused and changes nothing.
# Called by CTest with -DPROBE= -DWINE= (wine64) -DWINESERVER= -DWORK=.
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(ENV{WINEPREFIX} "${WORK}/prefix")
set(ENV{WINEDEBUG} "-all")
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")

function(run expected)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL expected)
    execute_process(COMMAND "${WINESERVER}" -k)
    message(FATAL_ERROR "${ARGN}: exit code ${result}, expected ${expected}\n${output}\n${errors}")
  endif()
  set(output "${output}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

run(0 "${WINE}" wineboot -i)
run(0 "${WINESERVER}" -w)

run(0 "${PROBE}" reg-set HKLM "Software\\ZrPeer\\Game" MAIN "C:\\Games\\Übersicht")
run(0 "${PROBE}" reg-set HKCU "Software\\ZrPeer" Language "German")
run(0 "${PROBE}" reg-get HKLM "Software\\ZrPeer\\Game" MAIN)
if(NOT output STREQUAL "C:\\Games\\Übersicht\n")
  message(FATAL_ERROR "read back: ${output}")
endif()

# Wine's own reader: the 32-bit view holds the machine value, the user's hive the other.
run(0 "${WINE}" reg query "HKLM\\Software\\ZrPeer\\Game" /v MAIN /reg:32)
if(NOT output MATCHES "MAIN[ \t]+REG_SZ[ \t]+C:\\\\Games\\\\")
  message(FATAL_ERROR "wine reg query did not show the machine value:\n${output}")
endif()
run(0 "${WINE}" reg query "HKLM\\Software\\Wow6432Node\\ZrPeer\\Game" /v MAIN)
run(0 "${WINE}" reg query "HKCU\\Software\\ZrPeer" /v Language)
if(NOT output MATCHES "Language[ \t]+REG_SZ[ \t]+German")
  message(FATAL_ERROR "wine reg query did not show the user value:\n${output}")
endif()

# While a server runs (started here in the background and kept until it is stopped), writes are refused.
execute_process(COMMAND sh -c "\"${WINESERVER}\" -p >/dev/null 2>&1 &")
execute_process(COMMAND sleep 1)
file(READ "${WORK}/prefix/system.reg" before)
run(1 "${PROBE}" reg-set HKLM "Software\\ZrPeer\\Game" MAIN "changed")
if(NOT errors MATCHES "wineserver -k")
  execute_process(COMMAND "${WINESERVER}" -k)
  message(FATAL_ERROR "the refusal does not say how to stop Wine: ${errors}")
endif()
file(READ "${WORK}/prefix/system.reg" after)
run(0 "${WINESERVER}" -k)
if(NOT before STREQUAL after)
  message(FATAL_ERROR "system.reg changed although the write was refused")
endif()
execute_process(COMMAND "${WINESERVER}" -w)
