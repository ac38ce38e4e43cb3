# Signatures, the trusted key slot and shell links through whole processes of the platformProbe
# program, natively and under Wine. Called by CTest with -DPROBE= -DEMULATOR= (empty natively)
# -DDATA=tests/data -DWORK= -DLNKINFO= (empty: link contents not checked).
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run expected program)
  execute_process(COMMAND ${EMULATOR} "${program}" ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result
    OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL expected)
    message(FATAL_ERROR "${program} ${ARGN}: exit code ${result}, expected ${expected}\n${output}\n${errors}")
  endif()
  string(STRIP "${output}" output)
  set(output "${output}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

# The committed vectors verify in a process of their own, and a damaged copy reports code 7 with
# CryptoAPI's bad-signature number on both builds.
run(0 "${PROBE}" verify "${DATA}/signature/manifest.bin" "${DATA}/signature/manifest.bin.sign"
  "${DATA}/signature/openssl-public.blob")
if(NOT output STREQUAL "0 00000000")
  message(FATAL_ERROR "the openssl vector did not verify: ${output}")
endif()
file(COPY_FILE "${DATA}/signature/manifest.bin" "${WORK}/damaged.bin")
file(APPEND "${WORK}/damaged.bin" "x")
run(0 "${PROBE}" verify "${WORK}/damaged.bin" "${DATA}/signature/manifest.bin.sign"
  "${DATA}/signature/openssl-public.blob")
if(NOT output STREQUAL "7 80090006")
  message(FATAL_ERROR "a damaged manifest gave '${output}', expected '7 80090006'")
endif()

# The built program reports the development key; a copy whose slot was rewritten in its file reports
# the new key, without a rebuild.
file(READ "${DATA}/keys/development-3072-public.blob" development HEX)
file(READ "${DATA}/signature/openssl-public.blob" publisher HEX)
run(0 "${PROBE}" trusted)
if(NOT output STREQUAL development)
  message(FATAL_ERROR "the built program's key is not the development key:\n${output}")
endif()
get_filename_component(name "${PROBE}" NAME)
set(copy "${WORK}/copy-${name}")
file(COPY_FILE "${PROBE}" "${copy}")
run(0 "${PROBE}" replace-key "${copy}" "${DATA}/signature/openssl-public.blob")
run(0 "${copy}" trusted)
if(NOT output STREQUAL publisher)
  message(FATAL_ERROR "the rewritten program does not report the new key:\n${output}")
endif()
# Files without a slot, or with two, are refused and left as they were.
file(COPY_FILE "${DATA}/signature/manifest.bin" "${WORK}/noslot.bin")
run(1 "${PROBE}" replace-key "${WORK}/noslot.bin" "${DATA}/signature/openssl-public.blob")
if(NOT errors MATCHES "no key slot")
  message(FATAL_ERROR "no slot: ${errors}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E cat "${PROBE}" "${PROBE}" OUTPUT_FILE "${WORK}/twice.bin")
file(SHA256 "${WORK}/twice.bin" before)
run(1 "${PROBE}" replace-key "${WORK}/twice.bin" "${DATA}/signature/openssl-public.blob")
file(SHA256 "${WORK}/twice.bin" after)
if(NOT errors MATCHES "more than one" OR NOT before STREQUAL after)
  message(FATAL_ERROR "two slots: ${errors}")
endif()

# Shell links: lnkinfo, an independent reader, finds the target, arguments, working folder (the
# working directory cut at its last separator) and description. Latin-1 texts pass through the ANSI
# code page of the Windows build; the Linux build also takes any Unicode text (characters beyond U+FFFF
# are checked byte for byte by the writer's own tests: this lnkinfo misreads surrogate pairs).
if(NOT LNKINFO)
  return()
endif()
function(check_link target description workingDirectory arguments folder)
  set(link "${WORK}/link.lnk")
  file(REMOVE "${link}")
  run(0 "${PROBE}" link "${link}" "${target}" "${description}" "${workingDirectory}" "${arguments}")
  execute_process(COMMAND "${LNKINFO}" "${link}" RESULT_VARIABLE result OUTPUT_VARIABLE info ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "lnkinfo could not read the link: ${errors}")
  endif()
  foreach(field "Local path=${target}" "Description=${description}" "Working directory=${folder}"
                "Command line arguments=${arguments}")
    string(FIND "${field}" "=" at)
    string(SUBSTRING "${field}" 0 ${at} label)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${field}" ${at} -1 expected)
    string(REGEX MATCH "\t${label}[\t ]*: ([^\n]*)" line "${info}")
    if(NOT CMAKE_MATCH_1 STREQUAL expected)
      message(FATAL_ERROR "${label}: lnkinfo read '${CMAKE_MATCH_1}', expected '${expected}'\n${info}")
    endif()
  endforeach()
endfunction()

check_link([=[C:\Games\Corvanth\bin\editor.exe]=] "Level editor" [=[C:\Games\Corvanth\bin\editor.exe]=]
  [=[-window -mod="a b"]=] [=[C:\Games\Corvanth\bin]=])
check_link([=[C:\Spiele\Corvanth Müller\tools\Gerät.exe]=] "Der Editör für Ärger"
  [=[C:/Spiele/Corvanth Müller/tools/Gerät.exe]=] "-name=Jürgen -x" [=[C:/Spiele/Corvanth Müller/tools]=])
if(NOT EMULATOR)
  check_link([=[C:\ゲーム\Corvanth\編集.exe]=] "編集者 – Ω" [=[C:\ゲーム\Corvanth\編集.exe]=]
    "-title=Ωmega" [=[C:\ゲーム\Corvanth]=])
endif()
