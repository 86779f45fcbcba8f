# Puts one known fault into a copy of a table and checks that the build refuses it with
# an error that names the culprit: the tables' compile-time checks are what keep a
# listed-twice word or a code without its row out of the tool.
#   cmake -DFAULT=<name> -DCXX=<compiler> -DSOURCE_DIR=<repo> -DWORK=<dir> -P compile_fault.cmake
# The copy goes under WORK, which is searched before the sources, so the file that
# includes it, or the copy itself, is compiled as the build would compile it.

# Each fault: the file changed, the text replaced and its replacement, the file compiled,
# and what the error must say.
if(FAULT STREQUAL "code_without_row")
  set(file device/requests.h)
  set(from "    AVRIG_VIP_REQUEST(VIP_MEMC_MSG, kValue),\n")
  set(to "")
  set(expect "VIP_MEMC_MSG has no row in kVipRequests")
elseif(FAULT STREQUAL "codes_equal")
  set(file device/vip.h)
  set(from "X(VIP_KEY_8, 0x20006b65)")
  set(to "X(VIP_KEY_8, 0x20006b64)")
  set(expect "VIP_KEY_9 \\(0x20006b64\\) shares its code with another row.*VIP_KEY_8 \\(0x20006b64\\) shares its code")
elseif(FAULT STREQUAL "type_and_number_equal")
  set(file device/vip.h)
  set(from "X(VIP_KEY_8, 0x20006b65)")
  set(to "X(VIP_KEY_8, 0xc0046b64)")
  set(expect "VIP_KEY_9 \\(0x20006b64\\) shares its type and number.*VIP_KEY_8 \\(0xc0046b64\\) shares its type and number")
elseif(FAULT STREQUAL "word_twice")
  set(file avrig/commands.cpp)
  set(from "    {\"nelist\", Match::Whole, HandleNelist},\n")
  set(to "${from}    {\"deblock\", Match::Whole, HandleNelist},\n")
  set(expect "WordTakenByAnEarlierRow<'d', 'e', 'b', 'l', 'o', 'c', 'k'>")
elseif(FAULT STREQUAL "word_behind_prefix")
  set(file avrig/commands.cpp)
  set(from "    {\"-osd\", Match::Prefix, HandleOsd},\n")
  set(to "    {\"-s\", Match::Prefix, HandleSource},\n${from}")
  set(expect "WordTakenByAnEarlierRow<'-', 's', 'y', 'n', 'c', 'd', 'e', 't'>")
else()
  message(FATAL_ERROR "no fault named \"${FAULT}\"")
endif()

file(READ ${SOURCE_DIR}/${file} text)
string(FIND "${text}" "${from}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${file} no longer holds the text this fault replaces:\n${from}")
endif()
string(REPLACE "${from}" "${to}" text "${text}")
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/${file} "${text}")

if(file MATCHES "\\.h$")
  set(compiled ${WORK}/includes_tables.cpp)
  file(WRITE ${compiled} "#include \"device/requests.h\"\n")
else()
  set(compiled ${WORK}/${file})
endif()

execute_process(
  COMMAND ${CXX} -std=c++17 -fsyntax-only -I${WORK} -I${SOURCE_DIR} ${compiled}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
string(REGEX MATCH "${expect}" named "${out}")
if(status EQUAL 0 OR NOT named)
  message(FATAL_ERROR "${FAULT}: expected the build to fail, saying \"${expect}\"; status ${status}:\n${out}")
endif()
