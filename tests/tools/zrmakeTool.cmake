# Runs zrmake as a publisher would: trees of versions 1.05, 1.06 and 1.08 in two distributions
# (nested folders, empty files, a file that becomes empty, a file moved between folders, files that
# differ in their last byte only, a name that changes only in case, non-ASCII names, files of one
# distribution), each step on its own and then the whole build from the example recipe; the patch is
# inspected clean, every payload entry read back from it is the file the build wrote, and MinGW's
# objdump reads it. Manifests that disagree with the recipe are refused before any delta; a file
# changed without changing its size or time gets new deltas that decode to it; builds killed at moments
# spread over their run leave no patch, and the rerun makes the entries of an uninterrupted build.
# Called by CTest with -DTOOL= -DEMULATOR= (empty natively) -DSTUB= -DOBJDUMP= -DDECODER= (zrvcdiff)
# -DDATA=tests/data -DWORK=.
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(run expected)
  execute_process(COMMAND ${EMULATOR} "${TOOL}" ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result
    OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL expected)
    message(FATAL_ERROR "zrmake ${ARGN}: exit code ${result}, expected ${expected}\n${output}\n${errors}")
  endif()
  set(output "${output}" PARENT_SCOPE)
  set(errors "${errors}" PARENT_SCOPE)
endfunction()

function(expect_hex file expected)
  file(READ "${file}" bytes HEX)
  if(NOT bytes MATCHES "^${expected}")
    message(FATAL_ERROR "${file} holds ${bytes}, expected ${expected}...")
  endif()
endfunction()

# Fails with `what` unless the two files hold the same bytes.
function(expect_same_file first second what)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${first}" "${second}" RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${what}")
  endif()
endfunction()

# A block of bytes that is the same for the same seed.
function(noise var seed count)
  string(SHA256 block "${seed}")
  set(text "")
  foreach(i RANGE ${count})
    string(SHA256 block "${block}${i}")
    string(APPEND text "${block}")
  endforeach()
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# The trees. Common to both distributions unless a file says otherwise.
noise(big 1 400)
noise(music 2 300)
foreach(lang en de)
  set(g "${WORK}/game")
  foreach(v 1.05 1.06 1.08)
    file(MAKE_DIRECTORY "${g}/${v}/${lang}/Data/Maps/Old")
    file(WRITE "${g}/${v}/${lang}/game.exe" "MZ game ${v}")
    file(WRITE "${g}/${v}/${lang}/Data/Maps/Old/keep.map" "unchanged map")
    file(WRITE "${g}/${v}/${lang}/Data/empty.dat" "")
    file(WRITE "${g}/${v}/${lang}/Logs/run.log" "log of ${v}")
    file(WRITE "${g}/${v}/${lang}/Grüße/Straße.txt" "non-ASCII ${v}")
    file(WRITE "${g}/${v}/${lang}/Data/Local.pak" "language ${lang}")
  endforeach()
  # The last byte only.
  file(WRITE "${g}/1.05/${lang}/Data/Big.pak" "${big}0")
  file(WRITE "${g}/1.06/${lang}/Data/Big.pak" "${big}1")
  file(WRITE "${g}/1.08/${lang}/Data/Big.pak" "${big}2")
  # Becomes empty in 1.06, then gone in 1.08.
  file(WRITE "${g}/1.05/${lang}/Data/Cache.bin" "cached")
  file(WRITE "${g}/1.06/${lang}/Data/Cache.bin" "")
  # Moved between folders in 1.06.
  file(WRITE "${g}/1.05/${lang}/Data/Maps/Old/moved.map" "${music}")
  file(WRITE "${g}/1.06/${lang}/Data/Maps/moved.map" "${music}")
  file(WRITE "${g}/1.08/${lang}/Data/Maps/moved.map" "${music}!")
  # The name changes only in case in 1.08.
  file(WRITE "${g}/1.05/${lang}/Readme.txt" "readme")
  file(WRITE "${g}/1.06/${lang}/Readme.txt" "readme")
  file(WRITE "${g}/1.08/${lang}/README.TXT" "readme, newer")
endforeach()
# Files of one distribution: German speech in 1.06, changed in 1.08.
file(WRITE "${WORK}/game/1.06/de/Data/Speech.pak" "Sprache")
file(WRITE "${WORK}/game/1.08/de/Data/Speech.pak" "Sprache neu")
file(WRITE "${WORK}/whole/Docs/Manual.txt" "the manual")
file(WRITE "${WORK}/tmp/setup.ini" "temporary")
file(COPY_FILE "${DATA}/make/example-recipe.cpp" "${WORK}/recipe.cpp")
file(COPY_FILE "${DATA}/make/example-manifest.cpp" "${WORK}/example-manifest.cpp")
file(COPY_FILE "${STUB}" "${WORK}/zrpatch.exe")
# The delta tool's stand-in: any Windows executable without a key slot.
file(WRITE "${WORK}/zrvcdiff.exe" "MZ stand-in for the delta tool")

run(0 --help)
foreach(command diff crc keygen sign pack inspect build)
  run(0 ${command} --help)
endforeach()
run(1 diff)
if(NOT errors MATCHES "OLD is required")
  message(FATAL_ERROR "a missing argument: ${errors}")
endif()

# Refused before any delta is made, on either build: a manifest that ends at another version than the
# recipe, one that does not declare a distribution of the recipe, one that does not compile.
file(READ "${WORK}/example-manifest.cpp" manifest)
string(REPLACE "version = \"1.08\"" "version = \"1.06\"" other "${manifest}")
file(WRITE "${WORK}/manifest-1.06.cpp" "${other}")
string(REGEX REPLACE "class GERMAN [^\n]*\n" "" other "${manifest}")
file(WRITE "${WORK}/manifest-english.cpp" "${other}")
file(WRITE "${WORK}/manifest-broken.cpp" "${manifest}class Broken : Missing {};\n")
file(READ "${WORK}/recipe.cpp" recipe)
foreach(case "1.06;version = \"1.06\", but the last version of [^\n]*recipe-1.06.cpp is 1.08"
             "english;distribution GERMAN \\([^\n]*game/1.05/de\\) is not declared"
             "broken;File [^\n]*manifest-broken.cpp, line [0-9]+")
  list(GET case 0 name)
  list(GET case 1 expected)
  string(REPLACE "example-manifest.cpp" "manifest-${name}.cpp" other "${recipe}")
  file(WRITE "${WORK}/recipe-${name}.cpp" "${other}")
  run(1 build recipe-${name}.cpp -o refused-${name}.exe)
  if(NOT errors MATCHES "${expected}")
    message(FATAL_ERROR "the ${name} manifest was not refused as expected (${expected}):\n${errors}")
  endif()
  file(GLOB_RECURSE deltas "${WORK}/refused-${name}.exe.payload/*")
  if(deltas OR EXISTS "${WORK}/refused-${name}.exe")
    message(FATAL_ERROR "the refused ${name} build left entries or a patch: ${deltas}")
  endif()
endforeach()

# Each step on its own: a diff, a checksum list. Under Wine there is no delta encoder: the files that
# differ are reported and the run fails, the markers and copies are written all the same.
if(EMULATOR)
  run(1 diff game/1.05/en game/1.06/en --from 1.05 --to 1.06 -o single --carry-new -j 2)
  if(NOT errors MATCHES "Data.Big.pak: no entry could be written")
    message(FATAL_ERROR "the failed encoding was not reported:\n${errors}")
  endif()
else()
  run(0 diff game/1.05/en game/1.06/en --from 1.05 --to 1.06 -o single --carry-new -j 2)
endif()
set(step "${WORK}/single/1.05-1.06")
foreach(name Data/Maps/Old/moved.map.del Data/Maps/moved.map.new Data/empty.dat.equ Readme.txt.equ
             Data/Maps/Old/keep.map.equ)
  if(NOT EXISTS "${step}/${name}")
    message(FATAL_ERROR "diff did not write ${name}")
  endif()
endforeach()
if(EMULATOR)
  # No delta encoder under Wine: the Windows build's diff is checked with markers only (above, the
  # encoding failures are reported and the run fails).
  return()
endif()
expect_hex("${step}/Data/Big.pak.upd" "d6c3c400")
expect_hex("${step}/Data/Cache.bin.upd" "d6c3c400")
expect_hex("${step}/Grüße/Straße.txt.upd" "d6c3c400")
expect_hex("${step}/Data/Maps/Old/keep.map.equ" "45")
run(0 diff game/1.05/en game/1.06/en --from 1.05 --to 1.06 -o single --carry-new)
if(NOT output MATCHES "up to date")
  message(FATAL_ERROR "a second diff did not keep the deltas:\n${output}")
endif()
run(1 diff game/1.05/en game/1.06/en --from 1.5 --to 1.06 -o single)
run(1 diff game/1.05/en no-such-tree --from 1.05 --to 1.06 -o single)
if(NOT errors MATCHES "no-such-tree: not a folder")
  message(FATAL_ERROR "a missing tree: ${errors}")
endif()
run(0 crc game/1.06/en --version 1.06 -o single --tolerate *.log)
file(READ "${WORK}/single/CRC/1.06/CRC.CRC" list)
foreach(line "\\+Data\\\\Cache.bin 00000000\n" "\\+Logs\\\\run.log [0-9a-f]+\n" "(^|\n)Data\\\\Big.pak [0-9a-f]+\n"
             "Grüße\\\\Straße.txt [0-9a-f]+\n")
  if(NOT list MATCHES "${line}")
    message(FATAL_ERROR "the checksum list lacks ${line}:\n${list}")
  endif()
endforeach()
run(0 crc game/1.06/en game/1.06/de --distribution ENGLISH --distribution GERMAN --version 1.06 -o single)
file(READ "${WORK}/single/CRC/1.06/CRC.CRC" list)
if(NOT list MATCHES "Data\\\\Local.pak.#GERMAN" OR NOT list MATCHES "Data\\\\Speech.pak.#GERMAN" OR
   NOT list MATCHES "\ngame.exe ")
  message(FATAL_ERROR "the two distributions' list:\n${list}")
endif()
run(1 crc game/1.06/en game/1.06/de --version 1.06 -o single)

# Keys and signatures: 3072 bits unless asked otherwise (a blob of 20 + 384 bytes).
run(0 keygen -o publisher.pem)
file(SIZE "${WORK}/publisher.blob" size)
if(NOT size EQUAL 404)
  message(FATAL_ERROR "the public key blob has ${size} bytes")
endif()
file(READ "${WORK}/publisher.pem" pem)
run(1 keygen -o publisher.pem)
file(READ "${WORK}/publisher.pem" again)
if(NOT pem STREQUAL again)
  message(FATAL_ERROR "keygen replaced an existing key")
endif()
run(0 sign publisher.pem recipe.cpp)
file(SIZE "${WORK}/recipe.cpp.sign" size)
if(NOT size EQUAL 384)
  message(FATAL_ERROR "the signature has ${size} bytes")
endif()

# The whole build, twice (the second reuses the deltas), then an inspection and every entry read back.
run(0 build recipe.cpp -o patch.exe -j 2)
run(0 build recipe.cpp -o patch.exe)
if(NOT output MATCHES "up to date")
  message(FATAL_ERROR "the second build did not reuse the deltas:\n${output}")
endif()
run(0 inspect patch.exe --extract extracted --key publisher.blob)
foreach(text "signature: valid" "consistent: no problems" "step 1.05-1.06: " "step 1.06-1.08: "
             "configApp=\"Software.Corvanth.Game\"" "CRC.1.05.CRC.CRC" "ALL.DOCS.MANUAL.TXT" "TMP.SETUP.INI"
             "1.06-1.08.DATA.SPEECH.PAK.UPD.#GERMAN" "1.05-1.06.DATA.SPEECH.PAK.NEW.#GERMAN"
             "1.05-1.06.DATA.LOCAL.PAK.EQU.#ENGLISH" "1.06-1.08.README.TXT.UPD")
  if(NOT output MATCHES "${text}")
    message(FATAL_ERROR "inspect lacks '${text}':\n${output}")
  endif()
endforeach()
file(GLOB_RECURSE payload RELATIVE "${WORK}/patch.exe.payload" "${WORK}/patch.exe.payload/*")
list(LENGTH payload count)
if(NOT count EQUAL 28)
  message(FATAL_ERROR "${count} payload files, expected 28:\n${payload}")
endif()
foreach(name ${payload})
  # Entry names are upper-cased letter by letter as Windows does it: "ü" too, while "ß" has no
  # single upper-case letter and stays (CMake's TOUPPER knows only a-z).
  string(TOUPPER "${name}" upper)
  string(REPLACE "ü" "Ü" upper "${upper}")
  expect_same_file("${WORK}/patch.exe.payload/${name}" "${WORK}/extracted/${upper}"
    "the patch's entry ${upper} is not the payload file ${name}")
endforeach()
expect_same_file("${WORK}/whole/Docs/Manual.txt" "${WORK}/extracted/ALL/DOCS/MANUAL.TXT"
  "the whole-file group was not packed as it is")

# MinGW's objdump reads the patch as a PE image with the resources.
if(OBJDUMP)
  execute_process(COMMAND "${OBJDUMP}" -p "${WORK}/patch.exe" RESULT_VARIABLE result OUTPUT_VARIABLE dump
    ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT dump MATCHES "pei-i386" OR NOT dump MATCHES "Resource Directory")
    message(FATAL_ERROR "objdump could not read the patch (${result}):\n${errors}")
  endif()
endif()

# Damage: a truncated patch is reported, not read past its end.
file(SIZE "${WORK}/patch.exe" size)
math(EXPR cut "${size} - 1000")
execute_process(COMMAND head -c ${cut} "${WORK}/patch.exe" OUTPUT_FILE "${WORK}/truncated.exe")
run(1 inspect truncated.exe -q)
run(0 inspect patch.exe -q)
file(WRITE "${WORK}/recipe-broken.cpp" "manifest = \"example-manifest.cpp\";\nclass Versions {\n  class v105 : Missing {};\n};\n")
run(1 build recipe-broken.cpp -o broken.exe)
if(NOT errors MATCHES "File [^\n]*recipe-broken.cpp, line 3")
  message(FATAL_ERROR "a broken recipe was not reported with file and line:\n${errors}")
endif()
if(EXISTS "${WORK}/broken.exe")
  message(FATAL_ERROR "a failed build left a patch behind")
endif()

# A file changed to other bytes of the same size, its time put back: its deltas (to and from that
# version) are made again, and decode to the new file.
noise(other 9 400)
foreach(lang en de)
  set(file "${WORK}/game/1.06/${lang}/Data/Big.pak")
  execute_process(COMMAND cp -p "${file}" "${file}.time")
  file(WRITE "${file}" "${other}1")
  execute_process(COMMAND touch -r "${file}.time" "${file}")
  file(REMOVE "${file}.time")
endforeach()
run(0 build recipe.cpp -o patch.exe)
if(NOT output MATCHES "step 1.05-1.06: [0-9]+ files: 5 deltas \\(4 up to date\\)" OR
   NOT output MATCHES "step 1.06-1.08: [0-9]+ files: 6 deltas \\(5 up to date\\)")
  message(FATAL_ERROR "the changed file's deltas were not made again:\n${output}")
endif()
file(REMOVE_RECURSE "${WORK}/extracted")
run(0 inspect patch.exe --extract extracted -q)
foreach(step "1.05-1.06;game/1.05/en;game/1.06/en" "1.06-1.08;game/1.06/en;game/1.08/en")
  list(GET step 0 name)
  list(GET step 1 old)
  list(GET step 2 new)
  execute_process(COMMAND "${DECODER}" -f -d -s "${WORK}/${old}/Data/Big.pak" "${WORK}/extracted/${name}/DATA/BIG.PAK.UPD"
    "${WORK}/decoded.pak" RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "step ${name}: the delta of Data/Big.pak does not decode (${result}): ${errors}")
  endif()
  expect_same_file("${WORK}/decoded.pak" "${WORK}/${new}/Data/Big.pak"
    "step ${name}: the delta of Data/Big.pak does not rebuild the new file")
endforeach()

# A build killed at moments spread over its run (the process ends at once, as with kill -9): never a
# patch at the output, and the build run again from what the killed one left makes the entries an
# uninterrupted build made, with no temporary file left behind.
string(TIMESTAMP started "%s%f")
run(0 build recipe.cpp -o timed.exe)
string(TIMESTAMP ended "%s%f")
math(EXPR span "(${ended} - ${started}) / 1000")  # milliseconds
file(GLOB_RECURSE clean RELATIVE "${WORK}/extracted" "${WORK}/extracted/*")
foreach(share 3 15 30 45 60 75 90)
  file(REMOVE_RECURSE "${WORK}/killed.exe.payload" "${WORK}/killed-extracted")
  file(REMOVE "${WORK}/killed.exe.payload.inputs")
  string(RANDOM LENGTH 2 ALPHABET 0123456789 jitter)
  math(EXPR delay "${span} * ${share} / 100 + ${jitter} / 10 + 1")
  math(EXPR whole "${delay} / 1000")
  math(EXPR part "${delay} % 1000")
  string(LENGTH "${part}" digits)
  string(SUBSTRING "000${part}" ${digits} 3 part)
  execute_process(COMMAND "${TOOL}" build recipe.cpp -o killed.exe WORKING_DIRECTORY "${WORK}"
    TIMEOUT "${whole}.${part}" RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(NOT result EQUAL 0 AND EXISTS "${WORK}/killed.exe")
    message(FATAL_ERROR "a build killed after ${whole}.${part} s (${result}) left a patch behind")
  endif()
  run(0 build recipe.cpp -o killed.exe)
  run(0 inspect killed.exe --extract killed-extracted -q)
  file(GLOB_RECURSE rerun RELATIVE "${WORK}/killed-extracted" "${WORK}/killed-extracted/*")
  if(NOT clean STREQUAL rerun)
    message(FATAL_ERROR "the rerun after a kill at ${whole}.${part} s has other entries:\n${rerun}\n"
      "than a clean build:\n${clean}")
  endif()
  foreach(name ${clean})
    expect_same_file("${WORK}/extracted/${name}" "${WORK}/killed-extracted/${name}"
      "the rerun after a kill at ${whole}.${part} s wrote another ${name} than a clean build")
  endforeach()
  file(GLOB_RECURSE leftovers "${WORK}/killed.exe.*part" "${WORK}/killed.exe.payload/*.part" "${WORK}/killed.exe.building")
  if(leftovers)
    message(FATAL_ERROR "temporary files left after the rerun: ${leftovers}")
  endif()
  file(REMOVE "${WORK}/killed.exe")
endforeach()
