# The kept string tables of the Windows program against what the messageResources tool writes now.
execute_process(COMMAND ${TOOL} OUTPUT_VARIABLE written RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "messageResources failed: ${status}")
endif()
file(READ ${KEPT} kept)
if(NOT written STREQUAL kept)
  message(FATAL_ERROR "${KEPT} is not what tools/messageResources writes from the message table; "
    "run build/linux/tools/messageResources > ${KEPT}")
endif()
