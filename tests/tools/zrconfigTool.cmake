# Runs zrconfig as a publisher would: check text configs, convert text to binary and back, pack a folder
# into a bank (stored and LZ-packed), list it and extract it again. Called by CTest with -DTOOL=
# -DEMULATOR= (empty natively) -DWORK=.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/data/sub")

function(run expected)
  execute_process(COMMAND ${EMULATOR} "${TOOL}" ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result
    OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL expected)
    message(FATAL_ERROR "zrconfig ${ARGN}: exit code ${result}, expected ${expected}\n${output}\n${errors}")
  endif()
  set(output "${output}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

function(expect_same a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${a}" "${b}" RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${a} differs from ${b}")
  endif()
endfunction()

file(WRITE "${WORK}/good.cpp" "version = 108;\nname = \"The \"\"Game\"\"\";\nlangs[] = {\"en\", 3, 2.5};\n"
  "class Base { speed = 1; };\nclass Patch : Base {\n  class Files { count = 4; };\n  formula = @x + 1;\n};\n")
file(WRITE "${WORK}/bad.cpp" "a = 1;\n\nclass Patch : Missing {\n};\n")

# check: file and line of each problem, exit code 1.
run(1 check good.cpp bad.cpp)
if(NOT errors MATCHES "File bad.cpp, line 3: bad.cpp.Patch: Undefined base class 'Missing'")
  message(FATAL_ERROR "check did not name the file and line:\n${errors}")
endif()
run(1 check missing.cpp)

# to-binary, to-text: text to binary to text is the text written from the text.
run(0 to-binary good.cpp good.bin)
run(0 to-text good.bin from-binary.txt)
run(0 to-text good.cpp from-text.txt)
expect_same("${WORK}/from-binary.txt" "${WORK}/from-text.txt")
run(0 to-binary from-text.txt again.bin)
expect_same("${WORK}/good.bin" "${WORK}/again.bin")
run(1 to-binary bad.cpp bad.bin)
if(EXISTS "${WORK}/bad.bin")
  message(FATAL_ERROR "a config with errors was written")
endif()

# bank pack, list, extract: the extracted folder is byte-identical, stored and LZ-packed.
string(REPEAT "class Weapon { damage = 12; range = 300; };\n" 400 repeated)
file(WRITE "${WORK}/data/sub/weapons.cpp" "${repeated}")
file(WRITE "${WORK}/data/readme.txt" "short")
file(WRITE "${WORK}/data/empty.txt" "")
foreach(mode stored lz)
  set(flag)
  if(mode STREQUAL "lz")
    set(flag --lz)
  endif()
  run(0 bank pack data ${mode}.pbo ${flag} --prefix game\\data --property author=maker)
  run(0 bank list ${mode}.pbo)
  if(NOT output MATCHES "prefix: game.data" OR NOT output MATCHES "author = maker")
    message(FATAL_ERROR "bank list lacks the properties:\n${output}")
  endif()
  if(mode STREQUAL "lz" AND NOT output MATCHES "lz +17600 ")
    message(FATAL_ERROR "the repetitive entry was not LZ-packed:\n${output}")
  endif()
  run(0 bank extract ${mode}.pbo -o out-${mode})
  foreach(name sub/weapons.cpp readme.txt empty.txt)
    expect_same("${WORK}/data/${name}" "${WORK}/out-${mode}/${name}")
  endforeach()
endforeach()
run(1 bank extract lz.pbo no-such-entry.txt -o out-none)
run(1 bank list good.cpp)
run(0 bank extract --help)
