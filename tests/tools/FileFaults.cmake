# Every write and every read of a run fails in turn. Each program that writes files runs once with
# ZELKAR_FAULT=count to learn how many writes and reads each of its modules makes, then once per
# write with that write failing and once per read with that read coming back short
# (src/platform/FileFaults.h). Each such run must exit 1 with one error line naming a file and
# the reason, leave the older files of its outputs byte for byte as they were, and leave no
# ".part" file. The one exception is the documented one: a short read of the driver's settings
# file lets the drive go on with the defaults, saying so in one line.
#   cmake -DASSET=zelkar-asset -DDRIVE=zelkar-drive -DSTAGE=rally_stage.json
#         -DSAMPLES=assets/samples -DWORK=dir -P FileFaults.cmake

set(failures "")
set(summary "")

# The lines of a text, without the empty last one.
function(split_lines text out)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  list(FILTER lines EXCLUDE REGEX "^$")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

function(fail text)
  set(failures "${failures}\n  ${text}" PARENT_SCOPE)
endfunction()

# Older files of every output, with bytes that say whose they are.
function(plant_outputs dir outputs)
  file(GLOB parts "${dir}/*.part" "${dir}/.*.part")
  if(parts)
    file(REMOVE ${parts})
  endif()
  foreach(output ${outputs})
    file(WRITE "${dir}/${output}" "older ${output}\n")
  endforeach()
endfunction()

# One case: NAME, DIR (where it runs and writes), OUTPUTS (file names in DIR), INPUTS (a regex
# of the file names a read error may name), FALLBACK (a regex of the one line of a read the
# program survives, if any), COMMAND.
function(fault_case)
  cmake_parse_arguments(C "" "NAME;DIR;INPUTS;FALLBACK" "OUTPUTS;COMMAND" ${ARGN})
  plant_outputs("${C_DIR}" "${C_OUTPUTS}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ZELKAR_FAULT=count ${C_COMMAND}
    WORKING_DIRECTORY "${C_DIR}" RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE err)
  string(REGEX MATCHALL "zelkar-fault: [^\n]*" counts "${err}")
  if(NOT result EQUAL 0 OR NOT counts)
    fail("${C_NAME}: the counting run failed (${result}): ${err}")
    set(failures "${failures}" PARENT_SCOPE)
    return()
  endif()
  set(exercised "")
  set(any_write FALSE)
  foreach(count ${counts})
    if(NOT count MATCHES "^zelkar-fault: (.+): ([0-9]+) writes, ([0-9]+) reads$")
      fail("${C_NAME}: cannot read the count \"${count}\"")
      continue()
    endif()
    set(module "${CMAKE_MATCH_1}")
    set(n_write ${CMAKE_MATCH_2})
    set(n_read ${CMAKE_MATCH_3})
    if(n_write GREATER 0)
      set(any_write TRUE)
    endif()
    string(APPEND exercised " ${module}: ${n_write} writes, ${n_read} reads;")
    foreach(kind write read)
      if(n_${kind} EQUAL 0)
        continue()
      endif()
      foreach(k RANGE 1 ${n_${kind}})
        set(what "${C_NAME}: ${kind}:${k}@${module}")
        plant_outputs("${C_DIR}" "${C_OUTPUTS}")
        execute_process(COMMAND ${CMAKE_COMMAND} -E env ZELKAR_FAULT=${kind}:${k}@${module}
          ${C_COMMAND} WORKING_DIRECTORY "${C_DIR}" RESULT_VARIABLE result OUTPUT_QUIET
          ERROR_VARIABLE err)
        if(err MATCHES "Sanitizer|runtime error:")
          fail("${what}: ${err}")
          continue()
        endif()
        split_lines("${err}" lines)
        list(FILTER lines INCLUDE REGEX "zelkar-(asset|drive): |short read")
        list(LENGTH lines n_lines)
        if(NOT n_lines EQUAL 1)
          fail("${what}: ${n_lines} error lines (exit ${result}): ${err}")
          continue()
        endif()
        if(kind STREQUAL "write")
          set(reason "No space left on device")
          string(REPLACE ";" "|" named "${C_OUTPUTS}")
          string(REPLACE "." "\\." named "${named}")
        else()
          set(reason "short read")
          set(named "${C_INPUTS}")
        endif()
        if(NOT lines MATCHES "${reason}" OR NOT lines MATCHES "(${named})")
          fail("${what}: the error does not name the file and the reason: ${lines}")
        endif()
        file(GLOB parts "${C_DIR}/*.part" "${C_DIR}/.*.part")
        if(parts)
          fail("${what}: left ${parts}")
        endif()
        # The documented fallback finishes the run: the outputs are new ones.
        set(finished FALSE)
        if(result EQUAL 0 AND kind STREQUAL "read" AND C_FALLBACK AND lines MATCHES "${C_FALLBACK}")
          set(finished TRUE)
        elseif(NOT result STREQUAL "1")
          fail("${what}: exit ${result}, not 1: ${lines}")
        endif()
        foreach(output ${C_OUTPUTS})
          file(READ "${C_DIR}/${output}" bytes)
          if(finished AND bytes STREQUAL "older ${output}\n")
            fail("${what}: the run went on but ${output} is the older file")
          elseif(NOT finished AND NOT bytes STREQUAL "older ${output}\n")
            fail("${what}: the older ${output} was changed")
          endif()
        endforeach()
      endforeach()
    endforeach()
  endforeach()
  if(NOT any_write)
    fail("${C_NAME}: the counting run saw no write")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
  set(summary "${summary}\n  ${C_NAME}:${exercised}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/asset" "${WORK}/drive")

# The asset tool on a small hierarchy: the library's disk writer for build, minizip's writes for
# pack, the glTF writer and the library's loaders for export.
file(WRITE "${WORK}/asset/small.zkh.json" [=[
{"chunks": [{"type": "hierarchy", "nodes": [
  {"name": "root", "type": "transform", "kind": 0, "id": 0, "parent": -1,
   "transform": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]]},
  {"name": "arm", "type": "transform", "kind": 0, "id": 1, "parent": 0,
   "transform": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0.5, 1]]}]}]}
]=])
fault_case(NAME build DIR "${WORK}/asset" OUTPUTS small.zkh INPUTS "small\\.zkh\\.json"
  COMMAND ${ASSET} build small.zkh.json small.zkh)
execute_process(COMMAND ${ASSET} build small.zkh.json member.zkh WORKING_DIRECTORY "${WORK}/asset")
fault_case(NAME pack DIR "${WORK}/asset" OUTPUTS small.rbz INPUTS "member\\.zkh|small\\.zkh\\.json"
  COMMAND ${ASSET} pack small.rbz member.zkh small.zkh.json)
fault_case(NAME export DIR "${WORK}/asset" OUTPUTS small.glb
  INPUTS "human_skeleton\\.zkh|idle_loop\\.zka"
  COMMAND ${ASSET} export ${SAMPLES}/human_skeleton.zkh ${SAMPLES}/idle_loop.zka small.glb
    --to 0.1)

# The drive on the sample stage cut to its first 0.1 s, its assets where the sample's are.
file(READ "${STAGE}" stage)
get_filename_component(stage_dir "${STAGE}" DIRECTORY)
string(JSON root GET "${stage}" root)
string(JSON stage SET "${stage}" root "\"${stage_dir}/${root}\"")
string(JSON stage SET "${stage}" duration 0.1)
string(JSON entries LENGTH "${stage}" timeline)
math(EXPR last "${entries} - 1")
foreach(i RANGE ${last} 0 -1)
  string(JSON time GET "${stage}" timeline ${i} time)
  if(time GREATER 0.1)
    string(JSON stage REMOVE "${stage}" timeline ${i})
  endif()
endforeach()
file(WRITE "${WORK}/drive/short.json" "${stage}")
fault_case(NAME drive DIR "${WORK}/drive" OUTPUTS short.glb short.csv short.html
  INPUTS "short\\.json|samples/|three|short\\.glb\\.part|ZK_Driver\\.ini"
  FALLBACK "ZK_Driver\\.ini: short read.*take their defaults"
  COMMAND ${DRIVE} short.json -o .)

message(STATUS "runs with each write and each read failing in turn:${summary}")
if(failures)
  message(FATAL_ERROR "faults not handled as they should be:${failures}")
endif()
