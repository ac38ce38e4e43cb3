# Runs the zrvcdiff program the way the patch program runs the delta tool and checks its exit codes
# and output. Called by CTest with -DTOOL= -DEMULATOR= (empty natively) -DDATA= -DWORK=.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(source "${DATA}/source.bin")

function(run expected)
  execute_process(COMMAND ${EMULATOR} "${TOOL}" ${ARGN} RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL expected)
    message(FATAL_ERROR "zrvcdiff ${ARGN}: exit code ${result}, expected ${expected}\n${errors}")
  endif()
endfunction()

function(expect_same file)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${file}" "${DATA}/target.bin" RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${file} differs from the target")
  endif()
endfunction()

# The patch program's command line: force, decode, source, delta, output.
run(0 -f -d -s "${source}" "${DATA}/none.vcdiff" "${WORK}/out none.bin")
expect_same("${WORK}/out none.bin")
# Without -f an existing output is kept.
run(1 -d -s "${source}" "${DATA}/none.vcdiff" "${WORK}/out none.bin")
expect_same("${WORK}/out none.bin")
# LZMA secondary compression, on every build; streams that continue across small windows too.
run(0 -f -d -s "${source}" "${DATA}/lzma.vcdiff" "${WORK}/lzma.bin")
expect_same("${WORK}/lzma.bin")
run(0 -f -d -s "${source}" "${DATA}/lzma-windows.vcdiff" "${WORK}/lzma-windows.bin")
expect_same("${WORK}/lzma-windows.bin")
# A failed decode leaves no output behind.
run(1 -f -d -s "${DATA}/target.bin" "${DATA}/none.vcdiff" "${WORK}/wrong.bin")
foreach(leftover wrong.bin wrong.bin.part lzma.bin.part)
  if(EXISTS "${WORK}/${leftover}")
    message(FATAL_ERROR "a failed decode left ${leftover} behind")
  endif()
endforeach()
# A command line it does not understand (encoding).
run(2 -e -s "${source}" "${DATA}/target.bin" "${WORK}/x")
