# Installs the library from the build tree into a scratch prefix, builds
# examples/library against that prefix alone, as a tool of one's own would be
# built, and runs it on the example maps. Called by CTest:
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DLIBRARY=... [-DCONFIG=...]
#         -DGENERATOR=... [-DMAKE_PROGRAM=...] -DCXX_COMPILER=... [-DSANITIZE_FLAGS=...]
#         -P library_example.cmake
foreach(Var BUILD_DIR SOURCE_DIR WORK_DIR LIBRARY GENERATOR CXX_COMPILER)
    if(NOT ${Var})
        message(FATAL_ERROR "library_example.cmake: ${Var} is not set")
    endif()
endforeach()

# The install copies what the build made; it builds nothing itself.
if(NOT EXISTS "${LIBRARY}")
    message(FATAL_ERROR "${LIBRARY} is missing: build the project before running its tests")
endif()

# A prefix left by an earlier run could stand in for a file the install no
# longer provides.
file(REMOVE_RECURSE "${WORK_DIR}")
set(Prefix "${WORK_DIR}/prefix")
set(ExampleBuild "${WORK_DIR}/build")

set(ConfigArgs)
set(BuildType)
if(CONFIG)
    set(ConfigArgs --config "${CONFIG}")
    set(BuildType "-DCMAKE_BUILD_TYPE=${CONFIG}")
endif()
set(ExampleArgs -G "${GENERATOR}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" ${BuildType})
if(MAKE_PROGRAM)
    list(APPEND ExampleArgs "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}")
endif()
# A sanitized library needs the sanitizers' runtime in every program it is
# linked into, and the installed package does not ask for it; compiled with
# them too, the example's own use of the library is checked as well.
if(SANITIZE_FLAGS)
    list(APPEND ExampleArgs "-DCMAKE_CXX_FLAGS=${SANITIZE_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}")
endif()

function(brix_step Name)
    execute_process(COMMAND ${ARGN} COMMAND_ECHO STDOUT RESULT_VARIABLE Result)
    if(NOT Result EQUAL 0)
        message(FATAL_ERROR "library example: ${Name} failed (${Result})")
    endif()
endfunction()

brix_step(install "${CMAKE_COMMAND}" --install "${BUILD_DIR}" ${ConfigArgs} --prefix "${Prefix}"
    --component development)
brix_step(configure "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/library" -B "${ExampleBuild}" ${ExampleArgs}
    "-DCMAKE_PREFIX_PATH=${Prefix}")
# A brixel package installed on the machine could be found instead, and
# the test would then prove nothing about this build's install.
file(STRINGS "${ExampleBuild}/CMakeCache.txt" FoundAt REGEX "^brixlib_DIR:")
string(FIND "${FoundAt}" "${Prefix}/" InPrefix)
if(InPrefix EQUAL -1)
    message(FATAL_ERROR "library example: brixlib found outside ${Prefix}: ${FoundAt}")
endif()
brix_step(build "${CMAKE_COMMAND}" --build "${ExampleBuild}" ${ConfigArgs})

find_program(Example brixlib_example PATHS "${ExampleBuild}" "${ExampleBuild}/${CONFIG}" NO_DEFAULT_PATH)
if(NOT Example)
    message(FATAL_ERROR "library example: brixlib_example not found in ${ExampleBuild}")
endif()
brix_step(run "${Example}" "${SOURCE_DIR}/examples/base.map" "${SOURCE_DIR}/examples/extra.map"
    "${WORK_DIR}/merged.map" "${WORK_DIR}/rest.map")
foreach(Written merged.map rest.map)
    if(NOT EXISTS "${WORK_DIR}/${Written}")
        message(FATAL_ERROR "library example: ${Written} was not written")
    endif()
endforeach()
