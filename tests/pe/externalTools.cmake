# The writer's output as other tools see it. Called by CTest with -DTOOL= -DEMULATOR= (empty natively)
# -DFIXTURES= -DOBJDUMP= -DWINDRES= -DWORK=, -DBITS= (the build's pointer width, 64 when not given) and
# -DWINDOWS= (true in a Windows build, whose emulator, Wine, also runs the written programs).
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/payload.bin" "payload bytes for the external tools")

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result OUTPUT_VARIABLE output
    ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}: exit code ${result}\n${output}\n${errors}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

foreach(bits 32 64)
  set(out "${WORK}/written${bits}.exe")
  run(${EMULATOR} "${TOOL}" "${FIXTURES}/resources${bits}.exe" "${out}" "ALL\\DATA\\NEW.PAK=payload.bin"
    "VERSION.CFG=payload.bin")
  if(NOT output MATCHES "appended resource section, 16 resources")
    message(FATAL_ERROR "unexpected report: ${output}")
  endif()
  # objdump reads the headers: the resource directory points at the new section, the checksum is set.
  run("${OBJDUMP}" -p "${out}")
  if(NOT output MATCHES "Entry 2 [0-9a-f]+ [0-9a-f]+ Resource Directory \\[\\.rsrc\\]")
    message(FATAL_ERROR "objdump does not find the resource directory in the .rsrc section:\n${output}")
  endif()
  # windres reads the resources back, the old ones and the new one.
  run("${WINDRES}" -i "${out}" -O rc)
  foreach(expected "\"ALL\\\\\\\\DATA\\\\\\\\NEW.PAK\" RCDATA" "\"MULTI\" RCDATA" "123 DIALOG" "VALUE \"FileVersion\", \"1.05\""
      "1, \"Neutral one\"" "1, \"Deutsch eins\"")
    if(NOT output MATCHES "${expected}")
      message(FATAL_ERROR "windres does not show ${expected}:\n${output}")
    endif()
  endforeach()
endforeach()

# Windows still loads and runs the written program: the one of this build's width, which is the one its
# Wine prefix runs (a 32-bit prefix cannot start a 64-bit program).
if(NOT BITS)
  set(BITS 64)
endif()
if(EMULATOR AND WINDOWS)
  run(${EMULATOR} "${WORK}/written${BITS}.exe")
  if(NOT output MATCHES "resource test program runs")
    message(FATAL_ERROR "the written program did not run as before: ${output}")
  endif()
  # Written again: the resource section is now the last one and is replaced in place.
  run(${EMULATOR} "${TOOL}" "${WORK}/written${BITS}.exe" "${WORK}/again${BITS}.exe" "ALL\\DATA\\NEW.PAK=payload.bin")
  if(NOT output MATCHES "replaced resource section, 16 resources")
    message(FATAL_ERROR "unexpected report: ${output}")
  endif()
  run(${EMULATOR} "${WORK}/again${BITS}.exe")
  if(NOT output MATCHES "resource test program runs")
    message(FATAL_ERROR "the program written twice did not run: ${output}")
  endif()
endif()
